// Hashing a message: the digest of content, without a digestedData around it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/certificates/certificate.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {

// The digest of `content` under `digestOid` (MD5, SHA-1, SHA-256, SHA-384 or
// SHA-512; kBadAlgId for any other identifier). `hash` is empty after a failure.
Status HashMessage(std::string_view digestOid, std::span<const uint8_t> content, Bytes& hash);

}  // namespace quorvel::platform
