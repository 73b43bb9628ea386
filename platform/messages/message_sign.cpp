#include "platform/messages/message_sign.h"

#include "platform/errors/platform_errors.h"
#include "platform/messages/message_support.h"

namespace quorvel::platform {

uint32_t SignMessage(const CertContext& signer, std::string_view digestOid,
                     std::span<const uint8_t> content, bool detached, Bytes& message) {
  message.clear();
  const message::ErrorQueueGuard errors;

  message::EvpMdPtr digest;
  if (const uint32_t status = message::FetchDigest(digestOid, digest)) return status;
  EvpPkeyPtr key;
  if (const uint32_t status = message::PrivateKeyOf(signer, key)) return status;

  // Binary content, no signed attributes and no capabilities: the signature is
  // over the content's digest itself.
  constexpr unsigned kFlags = CMS_BINARY | CMS_NOATTR | CMS_NOSMIMECAP | CMS_PARTIAL;
  message::CmsPtr signedData(
      CMS_sign_ex(nullptr, nullptr, nullptr, nullptr, kFlags, CryptoLibrary(), kCryptoProperties));
  if (!signedData) return error::kOutOfMemory;
  // Adding the signer also adds its certificate, the only one in the message.
  if (CMS_add1_signer(signedData.get(), signer.certificate().X509Handle(), key.get(), digest.get(),
                      kFlags) == nullptr) {
    return error::kBadData;
  }
  if (CMS_set_detached(signedData.get(), detached ? 1 : 0) != 1) return error::kOutOfMemory;
  const BioPtr input = message::ReadBio(content);
  if (!input) return error::kOutOfMemory;
  if (CMS_final(signedData.get(), input.get(), nullptr, kFlags) != 1) return error::kBadData;
  return message::EncodeMessage(signedData.get(), message);
}

}  // namespace quorvel::platform
