// Encryption of a file's bytes for a recipient whose certificate the caller
// hands over in Base64, rather than one found in the stores.
#include <memory>
#include <span>

#include "engine/engine.h"
#include "engine/engine_errors.h"
#include "engine/message_errors.h"
#include "engine/signing_key.h"
#include "platform/errors/platform_errors.h"
#include "platform/messages/message_envelope.h"
#include "platform/stores/key_container.h"
#include "platform/text/base64.h"

namespace quorvel::engine {
namespace {

namespace perr = platform::error;

ErrorNumber Encrypt(std::string_view data, std::string_view certificateBase64,
                    std::string_view symmetricOid, std::string& base64,
                    platform::Status& lastError) {
  if (data.empty()) return err::kEmptyInput;
  std::string der;
  if (!platform::Base64Decode(certificateBase64, der)) return err::kBase64Decode;
  platform::CertContextRef recipient;
  if (platform::CreateCertificateContext(
          std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(der.data()), der.size()),
          recipient) != perr::kOk) {
    return err::kCertHandle;
  }

  // A context made from bytes carries no properties, so the platform's
  // default provider encrypts; one that names a key container gets it opened.
  if (HasKeyProvider(*recipient)) {
    platform::KeyProvInfo info;
    if (recipient->GetKeyProvInfo(info) != perr::kOk) return err::kCertProperty;
    std::unique_ptr<platform::KeyContainer> provider;
    if (platform::KeyContainer::Acquire(std::u16string_view(info.container), info.provider,
                                        platform::kProvRsaFull, 0, provider) != perr::kOk) {
      return err::kAcquireProvider;
    }
  }

  platform::Bytes envelope;
  if (const platform::Status encrypted = platform::EncryptMessage(
          recipient->certificate(), symmetricOid,
          std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(data.data()), data.size()),
          envelope);
      encrypted != perr::kOk) {
    return MapMessageError(encrypted, MessageOperation::kEncrypt, lastError);
  }
  base64 = platform::Base64Encode(
      std::string_view(reinterpret_cast<const char*>(envelope.data()), envelope.size()));
  if (base64.empty()) return err::kNoMemory;
  return err::kOk;
}

}  // namespace

ErrorNumber EncryptFileForCert(std::string_view data, std::string_view certificateBase64,
                               std::string_view symmetricOid, std::string& base64,
                               platform::Status& lastError) {
  base64.clear();
  const ErrorNumber result = Encrypt(data, certificateBase64, symmetricOid, base64, lastError);
  if (result != err::kOk) base64.clear();
  return result;
}

}  // namespace quorvel::engine
