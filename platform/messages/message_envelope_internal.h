// The envelope steps shared by plain and signed envelopes.
#pragma once

#include <openssl/cms.h>

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/certificates/certificate.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {

class CertStore;

namespace message {

// Encrypts `content`, labelled with `contentType` (a NID), for `recipient`.
Status Envelope(const Certificate& recipient, std::string_view cipherOid,
                std::span<const uint8_t> content, int contentType, Bytes& envelope);

// Decrypts an envelope with a key found through `store`; `contentType`
// receives the NID of the inner content type.
Status OpenEnvelope(CertStore& store, std::span<const uint8_t> envelope, Bytes& content,
                    int& contentType, CertContextRef& decryptor);

}  // namespace message
}  // namespace quorvel::platform
