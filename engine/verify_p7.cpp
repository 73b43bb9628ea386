// PKCS#7 verification: the Base64 message is decoded and, when it arrived
// compressed, uncompressed; the signature is checked with the certificate the
// message carries (by the platform's message functions, or by taking the
// hand-built layout apart and checking the signed hash); then the signer's
// issuer and chain are checked before the content is handed out.
#include <span>
#include <string>

#include "container/compress.h"
#include "engine/cert_details.h"
#include "engine/engine.h"
#include "engine/engine_errors.h"
#include "engine/message_errors.h"
#include "engine/signed_data.h"
#include "engine/signer_chain.h"
#include "platform/errors/platform_errors.h"
#include "platform/messages/message_verify.h"
#include "platform/text/base64.h"

namespace quorvel::engine {
namespace {

enum class Mode { kAttached, kDetached };
enum class Checker { kPlatform, kHandBuilt };

std::span<const uint8_t> BytesOf(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Checks the signature of `message`, which it may release once parsed; an
// attached message's content goes to `carried`, the signer's certificate to
// `certificate`.
ErrorNumber CheckSignature(Checker checker, platform::Bytes& message, Mode mode,
                           std::string_view content, std::string& carried,
                           platform::CertContextRef& certificate, platform::Status& lastError) {
  const std::string_view bytes(reinterpret_cast<const char*>(message.data()), message.size());
  if (checker == Checker::kHandBuilt) {
    DecodedSignedData decoded;
    if (const ErrorNumber decodedOk = DecodeSignedData(bytes, mode == Mode::kDetached, decoded);
        decodedOk != err::kOk) {
      return decodedOk;
    }
    const std::string_view signedBytes = mode == Mode::kAttached ? decoded.content : content;
    if (const ErrorNumber verified = VerifyHashWithPublicKey(signedBytes, *decoded.certificate,
                                                             decoded.digestOid, decoded.signature);
        verified != err::kOk) {
      return verified;
    }
    carried = std::move(decoded.content);
    certificate = std::move(decoded.certificate);
    return err::kOk;
  }

  const platform::Status verified =
      mode == Mode::kAttached
          ? platform::VerifyMessageSignature(std::move(message), 0, carried, certificate)
          : platform::VerifyDetachedMessageSignature(message, 0, BytesOf(content), certificate);
  if (verified != platform::error::kOk) {
    return MapMessageError(verified, MessageOperation::kVerify, lastError);
  }
  if (!certificate) return err::kNoSignerCertificate;
  return err::kOk;
}

ErrorNumber Verify(Checker checker, std::string&& signedMessage, std::string& content,
                   CertDetails& signer, Mode mode, uint32_t chainChecks,
                   platform::Status& lastError) {
  if (signedMessage.empty()) return err::kEmptyInput;
  if (mode == Mode::kDetached && content.empty()) return err::kEmptyInput;

  platform::Bytes message;
  if (!platform::Base64Decode(signedMessage, message)) return err::kBase64Decode;
  // The text is not needed again; its memory goes now, not at the end.
  std::string().swap(signedMessage);
  // A compressed message starts 1F 8B; anything else is parsed as it is.
  container::UncompressIfCompressed(message);

  std::string carried;
  platform::CertContextRef certificate;
  if (const ErrorNumber checked =
          CheckSignature(checker, message, mode, content, carried, certificate, lastError);
      checked != err::kOk) {
    return checked;
  }
  platform::Bytes().swap(message);

  if (const ErrorNumber chain = VerifySignerChain(*certificate, chainChecks); chain != err::kOk) {
    return chain;
  }

  if (mode == Mode::kAttached) content = std::move(carried);
  signer = DetailsOf(*certificate);
  return err::kOk;
}

ErrorNumber Guarded(Checker checker, std::string&& signedMessage, std::string& content,
                    CertDetails& signer, Mode mode, uint32_t chainChecks,
                    platform::Status& lastError) {
  const ErrorNumber result =
      Verify(checker, std::move(signedMessage), content, signer, mode, chainChecks, lastError);
  // After a failure neither the content nor the details are a result. The
  // hand-built path reports its own error number as the platform value too, so
  // that the caller's platform value equals the returned number.
  if (result != err::kOk) {
    content.clear();
    signer = CertDetails{};
    if (checker == Checker::kHandBuilt) {
      lastError = platform::StatusOf(static_cast<uint32_t>(ToInt(result)));
    }
  }
  return result;
}

}  // namespace

ErrorNumber VerifyP7(std::string signedMessage, std::string& content, CertDetails& signer,
                     bool attached, platform::Status& lastError) {
  if (attached) content.clear();
  return Guarded(Checker::kPlatform, std::move(signedMessage), content, signer,
                 attached ? Mode::kAttached : Mode::kDetached, kChainCheckAll, lastError);
}

ErrorNumber VerifyP7Afterwards(std::string signedMessage, std::string& content, CertDetails& signer,
                               platform::Status& lastError) {
  content.clear();
  return Guarded(Checker::kPlatform, std::move(signedMessage), content, signer, Mode::kAttached,
                 kChainCheckAfterwards, lastError);
}

ErrorNumber AdvancedVerifyAttached(std::string signedMessage, std::string& content,
                                   CertDetails& signer, platform::Status& lastError) {
  content.clear();
  return Guarded(Checker::kHandBuilt, std::move(signedMessage), content, signer, Mode::kAttached,
                 kChainCheckAll, lastError);
}

ErrorNumber AdvancedVerifyDetached(std::string signedMessage, std::string_view content,
                                   CertDetails& signer, platform::Status& lastError) {
  std::string given(content);
  return Guarded(Checker::kHandBuilt, std::move(signedMessage), given, signer, Mode::kDetached,
                 kChainCheckAll, lastError);
}

}  // namespace quorvel::engine
