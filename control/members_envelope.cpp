// The envelope members: making an envelope of the stored text for a
// recipient (signed by the user or not), and opening one into the received
// text. The makers share one implementation, as do the openers.
#include <optional>
#include <string>

#include "control/argument_rules.h"
#include "control/control.h"
#include "control/member_runner.h"
#include "engine/engine.h"

namespace quorvel::control {

enum class Envelope { kPlain, kSigned, kSignedBySignatureKey };

namespace {

std::optional<std::u16string_view> Named(const std::u16string& dn) {
  return dn.empty() ? std::nullopt : std::optional<std::u16string_view>(dn);
}

}  // namespace

void CDrennicQuorvel::StoreReciptDetails(const engine::CertDetails& details) {
  for (size_t i = 0; i < details.size(); ++i) {
    if (details[i]) state.reciptCertInfo[i] = *details[i];
  }
}

Status CDrennicQuorvel::MakeEnvelope(Envelope kind, const std::u16string& deSignerDN,
                                     const std::u16string& deReciptDN, std::u16string& result) {
  std::u16string envelope;
  const bool signs = kind != Envelope::kPlain;
  // The stored text is consumed whatever the outcome.
  const CleanupRules rules{.emptiesOutgoingPlainText = true,
                           .clearsSignerCertInfo = signs,
                           .clearsReciptCertInfo = true};
  const Status status = RunMember(rules, [&] {
    if (state.outgoingPlainText.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
    const std::string content = state.outgoingPlainText;
    const bool serverMode = state.serverMode != 0;

    engine::EnvelopeOutput output;
    platform::Status lastError = platform::error::kOk;
    ErrorNumber outcome = err::kOk;
    if (!signs) {
      FailOn(CheckDnArgument(deReciptDN, state.DNspliter, serverMode, msg::kSourceEmpty));
      outcome = engine::MakeEnvelope(content, serverMode, Named(deReciptDN), state.DNspliter,
                                     state.symmetryArithmeticId.data(), ChooserTexts(), output,
                                     lastError);
      if (outcome != err::kOk) FailEngine(outcome, lastError, msg::kEncryptFailed);
    } else {
      // Both lengths first, then the remaining DN rules, signer before
      // recipient; server mode forbids the chooser for either.
      FailOn(CheckDnLength(deReciptDN, msg::kDnTooLong));
      FailOn(CheckDnLength(deSignerDN, msg::kDnTooLong));
      if (!deSignerDN.empty()) FailOn(CheckDnList(deSignerDN, state.DNspliter));
      if (!deReciptDN.empty()) FailOn(CheckDnList(deReciptDN, state.DNspliter));
      if (serverMode && (deReciptDN.empty() || deSignerDN.empty())) {
        Fail(err::kEmptyInput, msg::kSourceEmpty);
      }
      const engine::SignSettings settings =
          SignSettingsFor(kind == Envelope::kSignedBySignatureKey);
      outcome = engine::MakeSignedEnvelope(content, serverMode, Named(deSignerDN),
                                           Named(deReciptDN), state.DNspliter, settings,
                                           state.symmetryArithmeticId.data(), output, lastError);
      if (outcome != err::kOk) FailEngine(outcome, lastError, msg::kSignedEnvelopeFailed);
    }

    StoreReciptDetails(output.recipient);
    if (signs) StoreSignerDetails(output.signer);
    envelope = FromBytesOrFail(output.base64, msg::kCharsetConversion);
  });
  if (status == Status::kOk) state.outgoingPlainText.clear();
  result = std::move(envelope);
  return status;
}

Status CDrennicQuorvel::OpenEnvelope(Envelope kind, const std::u16string& message) {
  const bool signs = kind != Envelope::kPlain;
  const CleanupRules rules{.clearsSignerCertInfo = signs, .clearsReciptCertInfo = true};
  return RunMember(rules, [&] {
    if (message.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
    const std::string bytes = ToBytesOrFail(message, msg::kCharsetConversion);

    engine::OpenedEnvelope opened;
    platform::Status lastError = platform::error::kOk;
    const ErrorNumber outcome = signs ? engine::OpenSignedEnvelope(bytes, opened, lastError)
                                      : engine::OpenEnvelope(bytes, opened, lastError);
    if (outcome != err::kOk) FailEngine(outcome, lastError, msg::kOpenEnvelopeFailed);

    StoreReciptDetails(opened.recipient);
    if (signs) StoreSignerDetails(opened.signer);
    state.receivedPlainText.Assign(std::move(opened.content));
  });
}

Status CDrennicQuorvel::QVEncryptedEnvelop(const std::u16string& deReciptDN,
                                           std::u16string& result) {
  return MakeEnvelope(Envelope::kPlain, {}, deReciptDN, result);
}

Status CDrennicQuorvel::QVSignedAndEncryptedEnvelop(const std::u16string& deSignerDN,
                                                    const std::u16string& deReciptDN,
                                                    std::u16string& result) {
  return MakeEnvelope(Envelope::kSigned, deSignerDN, deReciptDN, result);
}

Status CDrennicQuorvel::QVUseKeySpecSignedAndEncryptedEnvelop(const std::u16string& deSignerDN,
                                                              const std::u16string& deReciptDN,
                                                              std::u16string& result) {
  return MakeEnvelope(Envelope::kSignedBySignatureKey, deSignerDN, deReciptDN, result);
}

Status CDrennicQuorvel::QVDecryptEnvelop(const std::u16string& envelopedMsg) {
  return OpenEnvelope(Envelope::kPlain, envelopedMsg);
}

Status CDrennicQuorvel::QVDecryptedAndVerifiedEnvelop(const std::u16string& signedAndEnvelopedMsg) {
  return OpenEnvelope(Envelope::kSigned, signedAndEnvelopedMsg);
}

}  // namespace quorvel::control
