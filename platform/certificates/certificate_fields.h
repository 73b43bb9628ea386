// What the certificate's platform implementations share: reading the fields
// the platform keeps exactly as encoded, and the issuer's signature check that
// each of them makes with its own library.
#pragma once

#include <span>

#include "platform/certificates/certificate.h"

namespace quorvel::platform {

// Takes the TBSCertificate apart far enough to keep the serial number (least
// significant byte first) and the two names exactly as encoded; false unless
// `der` is one certificate and nothing after it.
bool ReadRawFields(std::span<const uint8_t> der, Bytes& serial, Bytes& issuer, Bytes& subject);

// True when `issuer`'s public key verifies `subject`'s signature.
bool IssuerSigned(const Certificate& subject, const Certificate& issuer);

}  // namespace quorvel::platform
