// Steps shared by the entry points that hash content and use a certificate's
// key through its key-provider property.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/certificates/certificate.h"
#include "platform/crypto/hash.h"

namespace quorvel::engine {

// True when the certificate carries the key-provider property.
bool HasKeyProvider(const platform::CertContext& certificate);

// A hash of `digestOid` over `data`: 0, -10029 (no such hash) or -10030
// (hashing failed), the platform value in `lastError`.
int32_t HashOf(std::string_view digestOid, std::string_view data,
               std::unique_ptr<platform::Hash>& hash, int32_t& lastError);

}  // namespace quorvel::engine
