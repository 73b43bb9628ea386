// Signing a message: PKCS#7 signedData made with a certificate's private key.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/certificates/certificate.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {

// Signs `content` with the private key named by `signer`'s key-provider
// property and writes the DER of a signedData message to `message`:
// version 1, one digest algorithm (`digestOid`, a dotted hash OID), content
// type data with the content present unless `detached`, `signer`'s certificate
// alone as certificates, no CRLs, and one SignerInfo (version 1, issuer and
// serial number, no authenticated attributes, rsaEncryption) whose signature
// is PKCS#1 v1.5 over the content's digest.
//
// Fails with kNoKeyProperty when the certificate has no key-provider property,
// with the key container's error (kBadKeyset, kKeysetNotDefined, kNoKey) when
// its key cannot be had, and with kBadAlgId for a digest OID other than MD5,
// SHA-1, SHA-256, SHA-384 or SHA-512. `message` is empty after a failure.
Status SignMessage(const CertContext& signer, std::string_view digestOid,
                   std::span<const uint8_t> content, bool detached, Bytes& message);

}  // namespace quorvel::platform
