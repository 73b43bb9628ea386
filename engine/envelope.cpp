// Digital envelopes: content encrypted for one recipient certificate of the
// stores that hold other parties' certificates, optionally signed first by
// the user's certificate; and opening such envelopes with a key of "MY".
// Envelopes travel as Base64 text and are never compressed.
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>

#include "certs/engine_certificate.h"
#include "engine/cert_details.h"
#include "engine/engine.h"
#include "engine/engine_errors.h"
#include "engine/message_errors.h"
#include "engine/provider.h"
#include "engine/signer_chain.h"
#include "platform/errors/platform_errors.h"
#include "platform/messages/message_envelope.h"
#include "platform/messages/message_signed_envelope.h"
#include "platform/text/base64.h"

namespace quorvel::engine {
namespace {

std::span<const uint8_t> BytesOf(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::string Base64Of(const platform::Bytes& bytes) {
  return platform::Base64Encode(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// Selects a certificate by DN list in `stores` with the shared protocol;
// 0 with `certificate` set, or -10005.
ErrorNumber Select(certs::StoreSet stores, bool signatureKeysOnly, bool serverMode,
                   std::optional<std::u16string_view> dn, std::u16string_view separator,
                   const platform::ChooserTexts& texts, platform::CertContextRef& certificate) {
  if (certs::SelectEngineCertificate({.stores = stores,
                                      .signatureKeyOnly = signatureKeysOnly,
                                      .serverMode = serverMode,
                                      .dn = dn.value_or(std::u16string_view()),
                                      .separator = separator,
                                      .texts = &texts},
                                     certificate) != err::kOk ||
      !certificate) {
    return err::kNoCertificate;
  }
  return err::kOk;
}

// The provider every envelope entry point holds, and the stores it names.
ErrorNumber Prepare(std::initializer_list<std::string_view> storeNames, EngineSetup& setup) {
  return AcquireProviderAndStores(platform::kMsBaseProvider, storeNames, setup);
}

ErrorNumber Make(std::string_view data, bool serverMode,
                 std::optional<std::u16string_view> recipientDn, std::u16string_view separator,
                 std::string_view symmetricOid, const platform::ChooserTexts& texts,
                 EnvelopeOutput& output, platform::Status& lastError) {
  if (data.empty()) return err::kEmptyInput;
  EngineSetup setup;
  // Recipients are other parties: only "CA", "ROOT" and "AddressBOOK" hold them.
  if (const ErrorNumber prepared =
          Prepare({platform::kStoreCa, platform::kStoreRoot, platform::kStoreAddressBook}, setup);
      prepared != err::kOk) {
    return prepared;
  }
  platform::CertContextRef recipient;
  if (const ErrorNumber selected =
          Select(setup.stores.set(), false, serverMode, recipientDn, separator, texts, recipient);
      selected != err::kOk) {
    return selected;
  }

  platform::Bytes envelope;
  if (const platform::Status encrypted =
          platform::EncryptMessage(recipient->certificate(), symmetricOid, BytesOf(data), envelope);
      encrypted != platform::error::kOk) {
    return MapMessageError(encrypted, MessageOperation::kEncrypt, lastError);
  }
  output.base64 = Base64Of(envelope);
  output.recipient = DetailsOf(*recipient);
  return err::kOk;
}

ErrorNumber MakeSigned(std::string_view data, bool serverMode,
                       std::optional<std::u16string_view> signerDn,
                       std::optional<std::u16string_view> recipientDn,
                       std::u16string_view separator, const SignSettings& settings,
                       std::string_view symmetricOid, EnvelopeOutput& output,
                       platform::Status& lastError) {
  if (data.empty()) return err::kEmptyInput;
  EngineSetup setup;
  if (const ErrorNumber prepared = Prepare({platform::kStoreCa, platform::kStoreRoot,
                                            platform::kStoreAddressBook, platform::kStoreMy},
                                           setup);
      prepared != err::kOk) {
    return prepared;
  }
  const certs::StoreSet all = setup.stores.set();
  // The signer comes from "MY" alone; the recipient from the other three.
  platform::CertContextRef signer;
  if (const ErrorNumber selected = Select(all.subspan(3), settings.signatureKeysOnly, serverMode,
                                          signerDn, separator, settings.chooserTexts, signer);
      selected != err::kOk) {
    return selected;
  }
  platform::CertContextRef recipient;
  if (const ErrorNumber selected = Select(all.first(3), false, serverMode, recipientDn, separator,
                                          settings.chooserTexts, recipient);
      selected != err::kOk) {
    return selected;
  }

  platform::Bytes envelope;
  if (const platform::Status made =
          platform::SignAndEncryptMessage(*signer, settings.digestOid, recipient->certificate(),
                                          symmetricOid, BytesOf(data), envelope);
      made != platform::error::kOk) {
    return MapMessageError(made, MessageOperation::kEncrypt, lastError);
  }
  output.base64 = Base64Of(envelope);
  output.signer = DetailsOf(*signer);
  output.recipient = DetailsOf(*recipient);
  return err::kOk;
}

enum class Kind { kPlain, kSigned };

ErrorNumber Open(std::string_view message, Kind kind, OpenedEnvelope& opened,
                 platform::Status& lastError) {
  if (message.empty()) return err::kEmptyInput;
  std::string decoded;
  if (!platform::Base64Decode(message, decoded)) return err::kBase64Decode;
  const platform::Bytes envelope(decoded.begin(), decoded.end());
  decoded.clear();

  EngineSetup setup;
  if (const ErrorNumber prepared = Prepare({platform::kStoreMy}, setup); prepared != err::kOk) {
    return prepared;
  }
  platform::CertStore& my = *setup.stores.set().front();

  platform::Bytes content;
  platform::CertContextRef decryptor;
  platform::CertContextRef signer;
  const platform::Status openedOk =
      kind == Kind::kPlain
          ? platform::DecryptMessage(my, envelope, content, decryptor)
          : platform::DecryptAndVerifyMessageSignature(my, envelope, 0, content, decryptor, signer);
  if (openedOk != platform::error::kOk) {
    return MapMessageError(openedOk, MessageOperation::kDecrypt, lastError);
  }
  if (!decryptor) return err::kNoPrivateKey;
  if (kind == Kind::kSigned) {
    if (!signer) return err::kNoSignerCertificate;
    if (const ErrorNumber chain = VerifySignerChain(*signer, kChainCheckAll); chain != err::kOk) {
      return chain;
    }
    opened.signer = DetailsOf(*signer);
  }
  opened.content.assign(reinterpret_cast<const char*>(content.data()), content.size());
  platform::Bytes().swap(content);
  opened.recipient = DetailsOf(*decryptor);
  return err::kOk;
}

// Runs one entry point; after a failure nothing in `result` is a result.
template <typename Result, typename Body>
ErrorNumber Guarded(Result& result, Body&& body) {
  result = Result{};
  const ErrorNumber outcome = body();
  if (outcome != err::kOk) result = Result{};
  return outcome;
}

}  // namespace

ErrorNumber MakeEnvelope(std::string_view data, bool serverMode,
                         std::optional<std::u16string_view> recipientDn,
                         std::u16string_view separator, std::string_view symmetricOid,
                         const platform::ChooserTexts& chooserTexts, EnvelopeOutput& output,
                         platform::Status& lastError) {
  return Guarded(output, [&] {
    return Make(data, serverMode, recipientDn, separator, symmetricOid, chooserTexts, output,
                lastError);
  });
}

ErrorNumber MakeSignedEnvelope(std::string_view data, bool serverMode,
                               std::optional<std::u16string_view> signerDn,
                               std::optional<std::u16string_view> recipientDn,
                               std::u16string_view separator, const SignSettings& settings,
                               std::string_view symmetricOid, EnvelopeOutput& output,
                               platform::Status& lastError) {
  return Guarded(output, [&] {
    return MakeSigned(data, serverMode, signerDn, recipientDn, separator, settings, symmetricOid,
                      output, lastError);
  });
}

ErrorNumber OpenEnvelope(std::string_view message, OpenedEnvelope& opened,
                         platform::Status& lastError) {
  return Guarded(opened, [&] { return Open(message, Kind::kPlain, opened, lastError); });
}

ErrorNumber OpenSignedEnvelope(std::string_view message, OpenedEnvelope& opened,
                               platform::Status& lastError) {
  return Guarded(opened, [&] { return Open(message, Kind::kSigned, opened, lastError); });
}

}  // namespace quorvel::engine
