// Signed and enveloped messages on Windows. Until this room rests on the
// platform's message functions, every message operation but hashing answers
// kNotSupported.
#include "platform/crypto/algorithm_ids.h"
#include "platform/crypto/hash.h"
#include "platform/messages/message_envelope.h"
#include "platform/messages/message_hash.h"
#include "platform/messages/message_sign.h"
#include "platform/messages/message_signed_envelope.h"
#include "platform/messages/message_verify.h"

namespace quorvel::platform {

Status SignMessage(const CertContext&, std::string_view, std::span<const uint8_t>, bool, Bytes&) {
  return error::kNotSupported;
}

Status VerifyMessageSignature(std::span<const uint8_t>, uint32_t, Bytes&, CertContextRef&) {
  return error::kNotSupported;
}

Status VerifyMessageSignature(Bytes&&, uint32_t, std::string&, CertContextRef&) {
  return error::kNotSupported;
}

Status VerifyDetachedMessageSignature(std::span<const uint8_t>, uint32_t, std::span<const uint8_t>,
                                      CertContextRef&) {
  return error::kNotSupported;
}

Status EncryptMessage(const Certificate&, std::string_view, std::span<const uint8_t>, Bytes&) {
  return error::kNotSupported;
}

Status DecryptMessage(CertStore&, std::span<const uint8_t>, Bytes&, CertContextRef&) {
  return error::kNotSupported;
}

Status SignAndEncryptMessage(const CertContext&, std::string_view, const Certificate&,
                             std::string_view, std::span<const uint8_t>, Bytes&) {
  return error::kNotSupported;
}

Status DecryptAndVerifyMessageSignature(CertStore&, std::span<const uint8_t>, uint32_t, Bytes&,
                                        CertContextRef&, CertContextRef&) {
  return error::kNotSupported;
}

Status HashMessage(std::string_view digestOid, std::span<const uint8_t> content, Bytes& hash) {
  hash.clear();
  std::unique_ptr<Hash> digest;
  if (const Status created = Hash::Create(OidToAlgId(digestOid), digest); created != error::kOk) {
    return created;
  }
  if (const Status hashed = digest->HashData(content); hashed != error::kOk) return hashed;
  return digest->GetValue(hash);
}

}  // namespace quorvel::platform
