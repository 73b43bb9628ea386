// Verification members, the digest member and the certificate-information
// getters. The four verification members share one implementation driven by
// a table row each.
#include <optional>
#include <string>

#include "control/argument_rules.h"
#include "control/control.h"
#include "control/member_runner.h"
#include "engine/engine.h"

namespace quorvel::control {

enum class Verification { kAttached, kDetached, kAfterwards, kRaw };

namespace {

// Attached verifications keep the content they extract as the received text.
bool StoresReceivedText(Verification kind) {
  return kind == Verification::kAttached || kind == Verification::kAfterwards;
}

}  // namespace

Status CDrennicQuorvel::Verify(Verification kind, const std::u16string& signedMsg,
                               const std::u16string& plainText, const std::u16string& deSignerDN) {
  return RunMember({.clearsSignerCertInfo = true}, [&] {
    std::string content;
    const bool takesContent = kind == Verification::kDetached || kind == Verification::kRaw;
    if (takesContent) {
      if (plainText.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
      content = ToBytesOrFail(plainText, msg::kCharsetConversion);
    }
    if (signedMsg.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
    const std::string message = ToBytesOrFail(signedMsg, msg::kCharsetConversion);

    engine::CertDetails signer;
    int32_t lastError = 0;
    int32_t outcome = err::kOk;
    switch (kind) {
      case Verification::kAttached:
      case Verification::kDetached:
        outcome =
            engine::VerifyP7(message, content, signer, kind == Verification::kAttached, lastError);
        break;
      case Verification::kAfterwards:
        outcome = engine::VerifyP7Afterwards(message, content, signer, lastError);
        break;
      case Verification::kRaw: {
        const bool serverMode = state.serverMode != 0;
        FailOn(CheckDnArgument(deSignerDN, state.DNspliter, serverMode, msg::kMustSetDefaultDn));
        const auto dn =
            deSignerDN.empty() ? std::nullopt : std::optional<std::u16string_view>(deSignerDN);
        outcome =
            engine::RawVerify(message, serverMode, content, dn, state.DNspliter,
                              state.digestArithmeticId.data(), ChooserTexts(), signer, lastError);
        break;
      }
    }
    if (outcome != err::kOk) FailEngine(outcome, lastError, msg::kVerifyError);

    StoreSignerDetails(signer);
    if (StoresReceivedText(kind)) state.receivedPlainText.Assign(std::move(content));
  });
}

Status CDrennicQuorvel::QVAttachedVerify(const std::u16string& signedMsg) {
  return Verify(Verification::kAttached, signedMsg, {}, {});
}

Status CDrennicQuorvel::QVDetachedVerify(const std::u16string& signedMsg,
                                         const std::u16string& plainText) {
  return Verify(Verification::kDetached, signedMsg, plainText, {});
}

Status CDrennicQuorvel::QVAfterwardsVerify(const std::u16string& signedMsg) {
  return Verify(Verification::kAfterwards, signedMsg, {}, {});
}

Status CDrennicQuorvel::QVRawVerify(const std::u16string& signedMsg,
                                    const std::u16string& deSignerDN,
                                    const std::u16string& plainText) {
  return Verify(Verification::kRaw, signedMsg, plainText, deSignerDN);
}

Status CDrennicQuorvel::QVHashAndBase64Encode(const std::u16string& plainText,
                                              std::u16string& result) {
  std::u16string digest;
  const Status status = RunMember({}, [&] {
    if (plainText.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
    const std::string bytes = ToBytesOrFail(plainText, msg::kCharsetConversion);
    std::string base64;
    const int32_t outcome = engine::HashAndBase64(bytes, state.digestArithmeticId.data(), base64);
    // The digest reports no platform value, so errorCode stays as it was.
    if (outcome != err::kOk) Fail(outcome, msg::kDigestFailed);
    digest = FromBytesOrFail(base64, msg::kCharsetConversion);
  });
  result = std::move(digest);
  return status;
}

Status CDrennicQuorvel::CertInfoText(const CertInfoRecord& record, uint32_t type,
                                     std::u16string& result) {
  std::u16string text;
  const Status status = RunMember({}, [&] {
    if (type < 1 || type > record.size()) Fail(err::kBadInfoType, msg::kBadInfoType);
    text = record[type - 1];
  });
  result = std::move(text);
  return status;
}

Status CDrennicQuorvel::QVGetSignerCertInfo(uint32_t type, std::u16string& result) {
  return CertInfoText(state.signerCertInfo, type, result);
}

Status CDrennicQuorvel::QVGetReciptCertInfo(uint32_t type, std::u16string& result) {
  return CertInfoText(state.reciptCertInfo, type, result);
}

}  // namespace quorvel::control
