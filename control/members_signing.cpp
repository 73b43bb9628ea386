// The signing members: one implementation driven by a table row per member.
// Rows differ in where the content comes from, which engine signs (the
// platform's messages, the hand-built layout, or a raw signature), whether
// the signature is detached, how the signer's certificate is named, and
// whether only signature keys are considered.
#include <optional>
#include <string>

#include "control/argument_rules.h"
#include "control/control.h"
#include "control/member_runner.h"
#include "engine/engine.h"

namespace quorvel::control {

enum class Content {
  kStored,                 // outgoingPlainText, consumed whatever the outcome
  kArgument,               // plainText; outgoingPlainText left alone
  kArgumentEmptiesStored,  // plainText; outgoingPlainText emptied all the same
};
enum class Signature { kPkcs7, kHandBuiltPkcs7, kRaw };
enum class Signer { kDnList, kSerial, kSerialAndIssuer };

struct SigningRow {
  Content content;
  Signature signature;
  bool detached;
  Signer signer;
  bool signatureKeysOnly;
  // Reported when server mode is on and no DN or serial number is given.
  std::u16string_view serverModeMessage;
  // Issuer members only: the message for an issuer DN that is too long, and
  // whether the issuer passes the DN check before the serial number is read.
  std::u16string_view issuerTooLongMessage = msg::kDnTooLong;
  bool issuerCheckedFirst = false;
};

namespace {

using enum Content;
using enum Signature;
constexpr Signature kHandBuilt = Signature::kHandBuiltPkcs7;
using enum Signer;
constexpr std::u16string_view kNoDn = msg::kMustSetDefaultDn;
constexpr std::u16string_view kEmpty = msg::kSourceEmpty;
constexpr std::u16string_view kLong = msg::kDnTooLong;
constexpr std::u16string_view kIssuerLong = msg::kIssuerDnTooLong;

// clang-format off
//  member                                          content                 signature detached signer             signature   server mode  issuer too   issuer
//                                                                                                                keys only   without name long         checked first
constexpr SigningRow kAttachedSign                  {kStored,                kPkcs7,   false,   kDnList,           false,      kNoDn};
constexpr SigningRow kUseKeySpecAttachedSign        {kStored,                kPkcs7,   false,   kDnList,           true,       kNoDn};
constexpr SigningRow kDetachedSign                  {kArgument,              kPkcs7,   true,    kDnList,           false,      kEmpty};
constexpr SigningRow kUseKeySpecDetachedSign        {kArgument,              kPkcs7,   true,    kDnList,           true,       kEmpty};
constexpr SigningRow kRawSign                       {kStored,                kRaw,     false,   kDnList,           false,      kNoDn};
constexpr SigningRow kUseKeySpecRawSign             {kStored,                kRaw,     false,   kDnList,           true,       kNoDn};
constexpr SigningRow kAttachedSignBySN              {kStored,                kPkcs7,   false,   kSerial,           false,      kEmpty};
constexpr SigningRow kUseKeySpecAttachedSignBySN    {kStored,                kPkcs7,   false,   kSerial,           true,       kEmpty};
constexpr SigningRow kDetachedSignBySN              {kArgumentEmptiesStored, kPkcs7,   true,    kSerial,           false,      kEmpty};
constexpr SigningRow kUseKeySpecDetachedSignBySN    {kArgumentEmptiesStored, kPkcs7,   true,    kSerial,           true,       kEmpty};
constexpr SigningRow kAttachedSignByIssuerSN        {kStored,                kPkcs7,   false,   kSerialAndIssuer,  false,      kEmpty,      kLong,       false};
constexpr SigningRow kUseKeySpecAttachedSignByIssuerSN{kStored,              kPkcs7,   false,   kSerialAndIssuer,  true,       kEmpty,      kLong,       true};
constexpr SigningRow kDetachedSignByIssuerSN        {kArgumentEmptiesStored, kPkcs7,   true,    kSerialAndIssuer,  false,      kEmpty,      kIssuerLong, false};
constexpr SigningRow kUseKeySpecDetachedSignByIssuerSN{kArgumentEmptiesStored, kPkcs7, true,    kSerialAndIssuer,  true,       kEmpty,      kLong,       true};
constexpr SigningRow kAdvanceAttachedSign           {kStored,                kHandBuilt, false, kDnList,           false,      kNoDn};
constexpr SigningRow kUseSpecAdvanceAttachedSign    {kStored,                kHandBuilt, false, kDnList,           true,       kNoDn};
constexpr SigningRow kAdvanceDetachedSign           {kArgumentEmptiesStored, kHandBuilt, true,  kDnList,           false,      kNoDn};
constexpr SigningRow kUseSpecAdvanceDetachedSign    {kArgumentEmptiesStored, kHandBuilt, true,  kDnList,           true,       kNoDn};
// clang-format on

bool EmptiesStored(const SigningRow& row) {
  return row.content != Content::kArgument;
}

}  // namespace

engine::SignSettings CDrennicQuorvel::SignSettingsFor(bool signatureKeysOnly) const {
  engine::SignSettings settings;
  settings.compressionThreshold = state.MaxCompSize;
  settings.digestOid = std::string(state.digestArithmeticId.data());
  settings.signatureKeysOnly = signatureKeysOnly;
  settings.chooserTexts = ChooserTexts();
  return settings;
}

platform::ChooserTexts CDrennicQuorvel::ChooserTexts() const {
  return {state.dlgtitle, state.dlgprompt,    state.certsubject, state.certissuer,   state.notafter,
          state.OKbutton, state.Cancelbutton, state.Viewbutton,  state.copyRightInfo};
}

void CDrennicQuorvel::StoreSignerDetails(const engine::CertDetails& details) {
  for (size_t i = 0; i < details.size(); ++i) {
    if (details[i]) state.signerCertInfo[i] = *details[i];
  }
}

Status CDrennicQuorvel::Sign(const SigningRow& row, const std::u16string& plainText,
                             const std::u16string& naming, const std::u16string& issuer,
                             std::u16string& result) {
  std::u16string signature;
  const CleanupRules rules{.emptiesOutgoingPlainText = EmptiesStored(row),
                           .clearsSignerCertInfo = true};
  const Status status = RunMember(rules, [&] {
    // The stored text is read in place: nothing changes it before the
    // engine has returned.
    std::string converted;
    std::string_view content;
    if (row.content == Content::kStored) {
      if (state.outgoingPlainText.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
      content = state.outgoingPlainText;
    } else {
      if (plainText.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
      converted = ToBytesOrFail(plainText, msg::kCharsetConversion);
      content = converted;
    }

    const bool serverMode = state.serverMode != 0;
    const engine::SignSettings settings = SignSettingsFor(row.signatureKeysOnly);
    engine::SignOutput output;
    platform::Status lastError = platform::error::kOk;
    ErrorNumber outcome = err::kOk;
    // Without a serial number the user chooses; server mode, which forbids
    // any dialog, has refused that case before.
    auto signWithUsersChoice = [&] {
      return engine::SignP7(content, false, row.detached, std::nullopt, state.DNspliter, settings,
                            output, lastError);
    };

    if (row.signer == Signer::kDnList) {
      FailOn(CheckDnArgument(naming, state.DNspliter, serverMode, row.serverModeMessage));
      const auto dn = naming.empty() ? std::nullopt : std::optional<std::u16string_view>(naming);
      switch (row.signature) {
        case Signature::kRaw:
          outcome = engine::RawSign(content, serverMode, dn, state.DNspliter, settings, output,
                                    lastError);
          break;
        case Signature::kPkcs7:
          outcome = engine::SignP7(content, serverMode, row.detached, dn, state.DNspliter, settings,
                                   output, lastError);
          break;
        case Signature::kHandBuiltPkcs7:
          outcome = engine::AdvancedSignP7(content, serverMode, row.detached, dn, state.DNspliter,
                                           settings, output, lastError);
          break;
      }
    } else {
      std::u16string issuerDn(kDefaultIssuerDn);
      bool issuerChecked = row.signer == Signer::kSerial;
      if (row.signer == Signer::kSerialAndIssuer) {
        IssuerResolution resolved = ResolveIssuerDn(issuer, row.issuerTooLongMessage);
        FailOn(resolved.failure);
        issuerDn = std::move(resolved.issuer);
        if (row.issuerCheckedFirst) {
          FailOn(CheckIssuerDn(issuerDn));
          issuerChecked = true;
        }
      }
      if (naming.empty() && serverMode) Fail(err::kEmptyInput, row.serverModeMessage);
      if (!issuerChecked) FailOn(CheckIssuerDn(issuerDn));
      outcome = naming.empty() ? signWithUsersChoice()
                               : engine::SignP7BySerial(content, row.detached, naming, issuerDn,
                                                        settings, output, lastError);
    }
    if (outcome != err::kOk) FailEngine(outcome, lastError, msg::kSignFailed);

    StoreSignerDetails(output.signer);
    signature = FromBytesOrFail(output.base64, msg::kCharsetConversion);
  });
  if (status == Status::kOk && EmptiesStored(row)) state.outgoingPlainText.clear();
  result = std::move(signature);
  return status;
}

Status CDrennicQuorvel::QVAttachedSign(const std::u16string& deSignerDN, std::u16string& result) {
  return Sign(kAttachedSign, {}, deSignerDN, {}, result);
}
Status CDrennicQuorvel::QVUseKeySpecAttachedSign(const std::u16string& deSignerDN,
                                                 std::u16string& result) {
  return Sign(kUseKeySpecAttachedSign, {}, deSignerDN, {}, result);
}
Status CDrennicQuorvel::QVDetachedSign(const std::u16string& plainText,
                                       const std::u16string& deSignerDN, std::u16string& result) {
  return Sign(kDetachedSign, plainText, deSignerDN, {}, result);
}
Status CDrennicQuorvel::QVUseKeySpecDetachedSign(const std::u16string& plainText,
                                                 const std::u16string& deSignerDN,
                                                 std::u16string& result) {
  return Sign(kUseKeySpecDetachedSign, plainText, deSignerDN, {}, result);
}
Status CDrennicQuorvel::QVRawSign(const std::u16string& deSignerDN, std::u16string& result) {
  return Sign(kRawSign, {}, deSignerDN, {}, result);
}
Status CDrennicQuorvel::QVUseKeySpecRawSign(const std::u16string& deSignerDN,
                                            std::u16string& result) {
  return Sign(kUseKeySpecRawSign, {}, deSignerDN, {}, result);
}
Status CDrennicQuorvel::QVAttachedSignBySN(const std::u16string& deSignerSN,
                                           std::u16string& result) {
  return Sign(kAttachedSignBySN, {}, deSignerSN, {}, result);
}
Status CDrennicQuorvel::QVUseKeySpecAttachedSignBySN(const std::u16string& deSignerSN,
                                                     std::u16string& result) {
  return Sign(kUseKeySpecAttachedSignBySN, {}, deSignerSN, {}, result);
}
Status CDrennicQuorvel::QVDetachedSignBySN(const std::u16string& plainText,
                                           const std::u16string& deSignerSN,
                                           std::u16string& result) {
  return Sign(kDetachedSignBySN, plainText, deSignerSN, {}, result);
}
Status CDrennicQuorvel::QVUseKeySpecDetachedSignBySN(const std::u16string& plainText,
                                                     const std::u16string& deSignerSN,
                                                     std::u16string& result) {
  return Sign(kUseKeySpecDetachedSignBySN, plainText, deSignerSN, {}, result);
}
Status CDrennicQuorvel::QVAttachedSignByIssuerSN(const std::u16string& deSignerSN,
                                                 const std::u16string& IssuerDN,
                                                 std::u16string& result) {
  return Sign(kAttachedSignByIssuerSN, {}, deSignerSN, IssuerDN, result);
}
Status CDrennicQuorvel::QVUseKeySpecAttachedSignByIssuerSN(const std::u16string& deSignerSN,
                                                           const std::u16string& IssuerDN,
                                                           std::u16string& result) {
  return Sign(kUseKeySpecAttachedSignByIssuerSN, {}, deSignerSN, IssuerDN, result);
}
Status CDrennicQuorvel::QVDetachedSignByIssuerSN(const std::u16string& plainText,
                                                 const std::u16string& deSignerSN,
                                                 const std::u16string& IssuerDN,
                                                 std::u16string& result) {
  return Sign(kDetachedSignByIssuerSN, plainText, deSignerSN, IssuerDN, result);
}
Status CDrennicQuorvel::QVUseKeySpecDetachedSignByIssuerSN(const std::u16string& plainText,
                                                           const std::u16string& deSignerSN,
                                                           const std::u16string& IssuerDN,
                                                           std::u16string& result) {
  return Sign(kUseKeySpecDetachedSignByIssuerSN, plainText, deSignerSN, IssuerDN, result);
}

Status CDrennicQuorvel::QVAdvanceAttachedSign(const std::u16string& deSignerDN,
                                              std::u16string& result) {
  return Sign(kAdvanceAttachedSign, {}, deSignerDN, {}, result);
}
Status CDrennicQuorvel::QVUseSpecAdvanceAttachedSign(const std::u16string& deSignerDN,
                                                     std::u16string& result) {
  return Sign(kUseSpecAdvanceAttachedSign, {}, deSignerDN, {}, result);
}
Status CDrennicQuorvel::QVAdvanceDetachedSign(const std::u16string& plainText,
                                              const std::u16string& deSignerDN,
                                              std::u16string& result) {
  return Sign(kAdvanceDetachedSign, plainText, deSignerDN, {}, result);
}
Status CDrennicQuorvel::QVUseSpecAdvanceDetachedSign(const std::u16string& plainText,
                                                     const std::u16string& deSignerDN,
                                                     std::u16string& result) {
  return Sign(kUseSpecAdvanceDetachedSign, plainText, deSignerDN, {}, result);
}

}  // namespace quorvel::control
