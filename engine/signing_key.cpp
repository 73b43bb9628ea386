#include "engine/signing_key.h"

#include <span>

#include "engine/engine_errors.h"
#include "platform/crypto/algorithm_ids.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::engine {

bool HasKeyProvider(const platform::CertContext& certificate) {
  for (uint32_t id = certificate.EnumProperties(0); id != 0; id = certificate.EnumProperties(id)) {
    if (id == platform::kKeyProvInfoPropId) return true;
  }
  return false;
}

ErrorNumber HashOf(std::string_view digestOid, std::string_view data,
                   std::unique_ptr<platform::Hash>& hash, platform::Status& lastError) {
  if (const platform::Status created =
          platform::Hash::Create(platform::OidToAlgId(digestOid), hash);
      created != platform::error::kOk) {
    lastError = created;
    return err::kCreateHash;
  }
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  if (const platform::Status hashed = hash->HashData(bytes); hashed != platform::error::kOk) {
    lastError = hashed;
    return err::kHashData;
  }
  return err::kOk;
}

}  // namespace quorvel::engine
