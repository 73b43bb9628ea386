#include "platform/messages/message_hash.h"

#include "platform/errors/platform_errors.h"
#include "platform/messages/message_support.h"

namespace quorvel::platform {

Status HashMessage(std::string_view digestOid, std::span<const uint8_t> content, Bytes& hash) {
  hash.clear();
  const OpenSslErrorMark errors;
  EvpMdPtr digest;
  if (const Status status = message::FetchDigest(digestOid, digest); status != error::kOk)
    return status;
  return message::ComputeDigest(digest.get(), content, hash);
}

}  // namespace quorvel::platform
