#include "platform/messages/message_hash.h"

#include "platform/errors/platform_errors.h"
#include "platform/messages/message_support.h"

namespace quorvel::platform {

uint32_t HashMessage(std::string_view digestOid, std::span<const uint8_t> content, Bytes& hash) {
  hash.clear();
  const OpenSslErrorMark errors;
  EvpMdPtr digest;
  if (const uint32_t status = message::FetchDigest(digestOid, digest)) return status;
  return message::ComputeDigest(digest.get(), content, hash);
}

}  // namespace quorvel::platform
