// Steps shared by the entry points that hash content and use a certificate's
// key through its key-provider property.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/certificates/certificate.h"
#include "platform/crypto/hash.h"
#include "platform/errors/error_numbers.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::engine {

// True when the certificate carries the key-provider property.
bool HasKeyProvider(const platform::CertContext& certificate);

// A hash of `digestOid` over `data`: 0, -10029 (no such hash) or -10030
// (hashing failed), the platform value in `lastError`.
ErrorNumber HashOf(std::string_view digestOid, std::string_view data,
                   std::unique_ptr<platform::Hash>& hash, platform::Status& lastError);

}  // namespace quorvel::engine
