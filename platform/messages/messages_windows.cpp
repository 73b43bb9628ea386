// Signed and enveloped messages on Windows. Until this room rests on the
// platform's message functions, every message operation answers
// kNotSupported.
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

Status HashMessage(std::string_view, std::span<const uint8_t>, Bytes&) {
  return error::kNotSupported;
}

}  // namespace quorvel::platform
