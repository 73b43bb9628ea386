// PKCS#7 verification: the Base64 message is decoded and, when it arrived
// compressed, uncompressed; the platform checks the signature with the
// certificate the message carries; then the signer's issuer and chain are
// checked before the content is handed out.
#include <new>
#include <span>
#include <string>

#include "container/compress.h"
#include "engine/cert_details.h"
#include "engine/engine.h"
#include "engine/engine_errors.h"
#include "engine/message_errors.h"
#include "engine/signer_chain.h"
#include "platform/errors/platform_errors.h"
#include "platform/messages/message_verify.h"
#include "platform/text/base64.h"

namespace quorvel::engine {
namespace {

enum class Mode { kAttached, kDetached };

std::span<const uint8_t> BytesOf(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

int32_t Verify(std::string_view signedMessage, std::string& content, CertDetails& signer, Mode mode,
               uint32_t chainChecks, int32_t& lastError) {
  if (signedMessage.empty()) return err::kEmptyInput;
  if (mode == Mode::kDetached && content.empty()) return err::kEmptyInput;

  std::string decoded;
  if (!platform::Base64Decode(signedMessage, decoded)) return err::kBase64Decode;
  platform::Bytes message(decoded.begin(), decoded.end());
  // The decoded text is not needed again; its memory goes now, not at the end.
  std::string().swap(decoded);
  // A compressed message starts 1F 8B; anything else is parsed as it is.
  container::UncompressIfCompressed(message);

  platform::Bytes carried;
  platform::CertContextRef certificate;
  const uint32_t verified =
      mode == Mode::kAttached
          ? platform::VerifyMessageSignature(message, 0, carried, certificate)
          : platform::VerifyDetachedMessageSignature(message, 0, BytesOf(content), certificate);
  if (verified != platform::error::kOk) {
    return MapMessageError(verified, MessageOperation::kVerify, lastError);
  }
  if (!certificate) return err::kNoSignerCertificate;

  if (const int32_t chain = VerifySignerChain(*certificate, chainChecks); chain != err::kOk) {
    return chain;
  }

  if (mode == Mode::kAttached) content.assign(carried.begin(), carried.end());
  signer = DetailsOf(*certificate);
  return err::kOk;
}

int32_t Guarded(std::string_view signedMessage, std::string& content, CertDetails& signer,
                Mode mode, uint32_t chainChecks, int32_t& lastError) {
  int32_t result = err::kNoMemory;
  try {
    result = Verify(signedMessage, content, signer, mode, chainChecks, lastError);
  } catch (const std::bad_alloc&) {
    result = err::kNoMemory;
  }
  // After a failure neither the content nor the details are a result.
  if (result != err::kOk) {
    content.clear();
    signer = CertDetails{};
  }
  return result;
}

}  // namespace

int32_t VerifyP7(std::string_view signedMessage, std::string& content, CertDetails& signer,
                 bool attached, int32_t& lastError) {
  if (attached) content.clear();
  return Guarded(signedMessage, content, signer, attached ? Mode::kAttached : Mode::kDetached,
                 kChainCheckAll, lastError);
}

int32_t VerifyP7Afterwards(std::string_view signedMessage, std::string& content,
                           CertDetails& signer, int32_t& lastError) {
  content.clear();
  return Guarded(signedMessage, content, signer, Mode::kAttached, kChainCheckAfterwards, lastError);
}

}  // namespace quorvel::engine
