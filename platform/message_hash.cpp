#include "platform/message_hash.h"

#include "platform/message_support.h"
#include "platform/platform_errors.h"

namespace quorvel::platform {

uint32_t HashMessage(std::string_view digestOid, std::span<const uint8_t> content, Bytes& hash) {
  hash.clear();
  const message::ErrorQueueGuard errors;
  message::EvpMdPtr digest;
  if (const uint32_t status = message::FetchDigest(digestOid, digest)) return status;
  return message::ComputeDigest(digest.get(), content, hash);
}

}  // namespace quorvel::platform
