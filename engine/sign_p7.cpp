// PKCS#7 signing: the signer is selected in the user's "MY" store, the
// message is made with that certificate's key (by the platform's message
// functions, or assembled by hand from a signed hash), large messages are
// compressed, and the result is coded in Base64.
#include <functional>
#include <span>

#include "certs/engine_certificate.h"
#include "container/compress.h"
#include "engine/cert_details.h"
#include "engine/engine.h"
#include "engine/engine_errors.h"
#include "engine/message_errors.h"
#include "engine/provider.h"
#include "engine/signed_data.h"
#include "platform/errors/platform_errors.h"
#include "platform/messages/message_sign.h"
#include "platform/text/base64.h"

namespace quorvel::engine {
namespace {

// Picks the signer among the stores; 0 with `certificate` set, or -10005.
using SignerSelection =
    std::function<ErrorNumber(certs::StoreSet stores, platform::CertContextRef& certificate)>;

enum class Maker {
  kPlatform,   // the platform's message functions; only attached messages compressed
  kHandBuilt,  // a signed hash in the hand-built layout; compressed in both modes
};

ErrorNumber MakeMessage(Maker maker, const platform::CertContext& signer, std::string_view data,
                        bool detached, const SignSettings& settings, platform::Bytes& message,
                        platform::Status& lastError) {
  if (maker == Maker::kHandBuilt) {
    platform::Bytes signature;
    if (const ErrorNumber signedOk =
            SignHashWithKey(signer, settings.digestOid, data, signature, lastError);
        signedOk != err::kOk) {
      return signedOk;
    }
    return EncodeSignedData(detached, data, signer, settings.digestOid, signature, message);
  }
  const std::span<const uint8_t> content(reinterpret_cast<const uint8_t*>(data.data()),
                                         data.size());
  if (const platform::Status signedOk =
          platform::SignMessage(signer, settings.digestOid, content, detached, message);
      signedOk != platform::error::kOk) {
    return MapMessageError(signedOk, MessageOperation::kSign, lastError);
  }
  return err::kOk;
}

ErrorNumber SignWithSelectedCertificate(Maker maker, std::string_view data, bool detached,
                                        const SignSettings& settings, const SignerSelection& select,
                                        SignOutput& output, platform::Status& lastError) {
  output = SignOutput{};
  if (data.empty()) return err::kEmptyInput;

  EngineSetup setup;
  if (const ErrorNumber prepared =
          AcquireProviderAndStores(platform::kMsEnhancedProvider, {platform::kStoreMy}, setup);
      prepared != err::kOk) {
    return prepared;
  }

  platform::CertContextRef signer;
  if (const ErrorNumber selected = select(setup.stores.set(), signer);
      selected != err::kOk || !signer) {
    return err::kNoCertificate;
  }

  platform::Bytes message;
  if (const ErrorNumber made =
          MakeMessage(maker, *signer, data, detached, settings, message, lastError);
      made != err::kOk) {
    return made;
  }

  // A failed compression leaves the message as it was made.
  if (!detached || maker == Maker::kHandBuilt) {
    container::CompressIfLarge(message, settings.compressionThreshold);
  }

  output.base64 = platform::Base64Encode(
      std::string_view(reinterpret_cast<const char*>(message.data()), message.size()));
  output.signer = DetailsOf(*signer);
  return err::kOk;
}

ErrorNumber Guarded(const std::function<ErrorNumber()>& run, SignOutput& output) {
  const ErrorNumber result = run();
  if (result != err::kOk) output = SignOutput{};
  return result;
}

ErrorNumber SignByDn(Maker maker, std::string_view data, bool serverMode, bool detached,
                     std::optional<std::u16string_view> dnList, std::u16string_view separator,
                     const SignSettings& settings, SignOutput& output,
                     platform::Status& lastError) {
  return Guarded(
      [&] {
        const SignerSelection select = [&](certs::StoreSet stores,
                                           platform::CertContextRef& certificate) {
          return certs::SelectEngineCertificate({.stores = stores,
                                                 .signatureKeyOnly = settings.signatureKeysOnly,
                                                 .serverMode = serverMode,
                                                 .dn = dnList.value_or(std::u16string_view()),
                                                 .separator = separator,
                                                 .texts = &settings.chooserTexts},
                                                certificate);
        };
        return SignWithSelectedCertificate(maker, data, detached, settings, select, output,
                                           lastError);
      },
      output);
}

}  // namespace

ErrorNumber SignP7(std::string_view data, bool serverMode, bool detached,
                   std::optional<std::u16string_view> dnList, std::u16string_view separator,
                   const SignSettings& settings, SignOutput& output, platform::Status& lastError) {
  return SignByDn(Maker::kPlatform, data, serverMode, detached, dnList, separator, settings, output,
                  lastError);
}

ErrorNumber AdvancedSignP7(std::string_view data, bool serverMode, bool detached,
                           std::optional<std::u16string_view> dnList, std::u16string_view separator,
                           const SignSettings& settings, SignOutput& output,
                           platform::Status& lastError) {
  return SignByDn(Maker::kHandBuilt, data, serverMode, detached, dnList, separator, settings,
                  output, lastError);
}

ErrorNumber SignP7BySerial(std::string_view data, bool detached,
                           std::optional<std::u16string_view> serialNumber,
                           std::u16string_view issuerDn, const SignSettings& settings,
                           SignOutput& output, platform::Status& lastError) {
  return Guarded(
      [&] {
        const std::u16string_view serials = serialNumber.value_or(std::u16string_view());
        // A serial number means nothing without the issuer that gave it.
        if (!serials.empty() && issuerDn.empty()) return err::kEmptyInput;
        const SignerSelection select = [&](certs::StoreSet stores,
                                           platform::CertContextRef& certificate) {
          return certs::SelectEngineCertificateBySerial(stores, settings.signatureKeysOnly, serials,
                                                        issuerDn, settings.chooserTexts,
                                                        certificate);
        };
        return SignWithSelectedCertificate(Maker::kPlatform, data, detached, settings, select,
                                           output, lastError);
      },
      output);
}

}  // namespace quorvel::engine
