// Raw signatures: the PKCS#1 v1.5 RSA signature over the digest of bytes,
// written most significant byte first and coded in Base64, and its check with
// a certificate of the stores that hold other parties' certificates.
#include <algorithm>
#include <span>

#include "certs/engine_certificate.h"
#include "engine/cert_details.h"
#include "engine/engine.h"
#include "engine/engine_errors.h"
#include "engine/provider.h"
#include "engine/signer_chain.h"
#include "engine/signing_key.h"
#include "platform/crypto/algorithm_ids.h"
#include "platform/crypto/hash.h"
#include "platform/errors/platform_errors.h"
#include "platform/keyuse/key_use.h"
#include "platform/stores/rsa_signature.h"
#include "platform/text/base64.h"

namespace quorvel::engine {
namespace {

namespace perr = platform::error;

ErrorNumber Sign(std::string_view data, bool serverMode, std::optional<std::u16string_view> dnList,
                 std::u16string_view separator, const SignSettings& settings, SignOutput& output,
                 platform::Status& lastError) {
  if (data.empty()) return err::kEmptyInput;

  EngineSetup setup;
  if (const ErrorNumber prepared =
          AcquireProviderAndStores(platform::kMsEnhancedProvider, {platform::kStoreMy}, setup);
      prepared != err::kOk) {
    return prepared;
  }
  std::unique_ptr<platform::KeyContainer>& provider = setup.provider;

  platform::CertContextRef signer;
  if (certs::SelectEngineCertificate({.stores = setup.stores.set(),
                                      .signatureKeyOnly = settings.signatureKeysOnly,
                                      .serverMode = serverMode,
                                      .dn = dnList.value_or(std::u16string_view()),
                                      .separator = separator,
                                      .texts = &settings.chooserTexts},
                                     signer) != err::kOk ||
      !signer) {
    return err::kNoCertificate;
  }

  // The key container and key specification the certificate names; the
  // engine's own handle is kept when it names none, and then no signing key
  // (specification 0) is known.
  uint32_t keySpec = 0;
  if (HasKeyProvider(*signer)) {
    platform::KeyProvInfo info;
    if (signer->GetKeyProvInfo(info) != perr::kOk) return err::kCertProperty;
    std::unique_ptr<platform::KeyContainer> container;
    if (platform::KeyContainer::Acquire(std::u16string_view(info.container), info.provider,
                                        platform::kProvRsaFull, 0, container) != perr::kOk) {
      return err::kAcquireProvider;
    }
    provider = std::move(container);
    keySpec = info.keySpec;
  }

  std::unique_ptr<platform::Hash> hash;
  if (const ErrorNumber hashed = HashOf(settings.digestOid, data, hash, lastError);
      hashed != err::kOk) {
    return hashed;
  }

  // Refused by the user: as if no certificate had been chosen, no platform value.
  if (platform::ApproveKeyUse(platform::KeyAction::kRawSign, signer->certificate(), data) !=
      perr::kOk) {
    return err::kNoCertificate;
  }
  platform::Bytes signature;
  const platform::Status signedOk =
      provider ? platform::SignHash(*hash, *provider, keySpec, signature) : perr::kNoKey;
  if (signedOk != perr::kOk) {
    lastError = signedOk;
    return err::kSignHash;
  }
  // The platform writes the least significant byte first; the result is the
  // usual big-endian number.
  std::reverse(signature.begin(), signature.end());

  output.base64 = platform::Base64Encode(
      std::string_view(reinterpret_cast<const char*>(signature.data()), signature.size()));
  output.signer = DetailsOf(*signer);
  return err::kOk;
}

ErrorNumber Verify(std::string_view signatureText, bool serverMode, std::string_view content,
                   std::optional<std::u16string_view> dnList, std::u16string_view separator,
                   std::string_view digestOid, const platform::ChooserTexts& chooserTexts,
                   CertDetails& signer, platform::Status& lastError) {
  if (signatureText.empty() || content.empty()) return err::kEmptyInput;

  std::string decoded;
  if (!platform::Base64Decode(signatureText, decoded)) return err::kBase64Decode;
  // The platform takes the least significant byte first.
  platform::Bytes signature(decoded.rbegin(), decoded.rend());

  EngineSetup setup;
  if (const ErrorNumber prepared = AcquireProviderAndStores(
          platform::kMsEnhancedProvider,
          {platform::kStoreCa, platform::kStoreRoot, platform::kStoreAddressBook}, setup);
      prepared != err::kOk) {
    return prepared;
  }

  platform::CertContextRef certificate;
  if (certs::SelectEngineCertificate({.stores = setup.stores.set(),
                                      .serverMode = serverMode,
                                      .dn = dnList.value_or(std::u16string_view()),
                                      .separator = separator,
                                      .texts = &chooserTexts},
                                     certificate) != err::kOk ||
      !certificate) {
    return err::kNoCertificate;
  }

  if (const ErrorNumber chain = VerifySignerChain(*certificate, kChainCheckAll);
      chain != err::kOk) {
    return chain;
  }

  platform::Key publicKey;
  if (const platform::Status imported =
          platform::ImportPublicKeyInfo(certificate->certificate(), publicKey);
      imported != perr::kOk) {
    lastError = imported;
    return err::kPublicKey;
  }

  std::unique_ptr<platform::Hash> hash;
  if (const ErrorNumber hashed = HashOf(digestOid, content, hash, lastError); hashed != err::kOk) {
    return hashed;
  }

  if (const platform::Status verified = platform::VerifySignature(*hash, signature, publicKey);
      verified != perr::kOk) {
    lastError = verified;
    return err::kVerifyHash;
  }

  signer = DetailsOf(*certificate);
  return err::kOk;
}

}  // namespace

ErrorNumber RawSign(std::string_view data, bool serverMode,
                    std::optional<std::u16string_view> dnList, std::u16string_view separator,
                    const SignSettings& settings, SignOutput& output, platform::Status& lastError) {
  output = SignOutput{};
  const ErrorNumber result = Sign(data, serverMode, dnList, separator, settings, output, lastError);
  if (result != err::kOk) output = SignOutput{};
  return result;
}

ErrorNumber RawVerify(std::string_view signature, bool serverMode, std::string_view content,
                      std::optional<std::u16string_view> dnList, std::u16string_view separator,
                      std::string_view digestOid, const platform::ChooserTexts& chooserTexts,
                      CertDetails& signer, platform::Status& lastError) {
  signer = CertDetails{};
  const ErrorNumber result = Verify(signature, serverMode, content, dnList, separator, digestOid,
                                    chooserTexts, signer, lastError);
  if (result != err::kOk) signer = CertDetails{};
  return result;
}

}  // namespace quorvel::engine
