// The digest of bytes, coded in Base64: the bare digest, no structure around it.
#include <span>

#include "engine/engine.h"
#include "engine/engine_errors.h"
#include "platform/errors/platform_errors.h"
#include "platform/messages/message_hash.h"
#include "platform/text/base64.h"

namespace quorvel::engine {

ErrorNumber HashAndBase64(std::string_view data, std::string_view digestOid, std::string& base64) {
  base64.clear();
  if (data.empty()) return err::kEmptyInput;
  platform::Bytes digest;
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  if (platform::HashMessage(digestOid, bytes, digest) != platform::error::kOk) {
    return err::kDigestOrDecryptFailed;
  }
  base64 = platform::Base64Encode(
      std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
  return err::kOk;
}

}  // namespace quorvel::engine
