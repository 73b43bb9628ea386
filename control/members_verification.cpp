// Verification members, the digest member and the certificate-information
// getters. The six verification members share one implementation driven by a
// table row each.
#include <optional>
#include <string>

#include "control/argument_rules.h"
#include "control/control.h"
#include "control/member_runner.h"
#include "engine/engine.h"

namespace quorvel::control {

enum class Verifier {
  kPlatform,    // the platform's message functions, every chain check
  kAfterwards,  // the same, tolerating a signer that has expired since
  kRaw,         // a bare signature, checked with a certificate the DN names
  kHandBuilt,   // the hand-built layout, taken apart and checked by hash
};

enum class Content {
  kCarried,               // attached: the message carries it, it becomes the received text
  kArgumentFirst,         // plainText, checked before the message
  kArgumentAfterMessage,  // plainText, checked after the message
};

struct VerificationRow {
  Verifier verifier;
  Content content;
};

namespace {

// clang-format off
constexpr VerificationRow kAttachedVerify        {Verifier::kPlatform,   Content::kCarried};
constexpr VerificationRow kDetachedVerify        {Verifier::kPlatform,   Content::kArgumentFirst};
constexpr VerificationRow kAfterwardsVerify      {Verifier::kAfterwards, Content::kCarried};
constexpr VerificationRow kRawVerify             {Verifier::kRaw,        Content::kArgumentFirst};
constexpr VerificationRow kAdvanceAttachedVerify {Verifier::kHandBuilt,  Content::kCarried};
constexpr VerificationRow kAdvanceDetachedVerify {Verifier::kHandBuilt,  Content::kArgumentAfterMessage};
// clang-format on

}  // namespace

Status CDrennicQuorvel::Verify(const VerificationRow& row, std::u16string signedMsg,
                               const std::u16string& plainText, const std::u16string& deSignerDN) {
  return RunMember({.clearsSignerCertInfo = true}, [&] {
    std::string content;
    const auto takeContent = [&] {
      if (plainText.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
      content = ToBytesOrFail(plainText, msg::kCharsetConversion);
    };
    if (row.content == Content::kArgumentFirst) takeContent();
    if (signedMsg.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
    std::string message = ToBytesOrFail(signedMsg, msg::kCharsetConversion);
    // The message's text can be twice its bytes: it goes before verifying.
    std::u16string().swap(signedMsg);
    if (row.content == Content::kArgumentAfterMessage) takeContent();

    const bool attached = row.content == Content::kCarried;
    engine::CertDetails signer;
    platform::Status lastError = platform::error::kOk;
    ErrorNumber outcome = err::kOk;
    switch (row.verifier) {
      case Verifier::kPlatform:
        outcome = engine::VerifyP7(std::move(message), content, signer, attached, lastError);
        break;
      case Verifier::kAfterwards:
        outcome = engine::VerifyP7Afterwards(std::move(message), content, signer, lastError);
        break;
      case Verifier::kHandBuilt:
        outcome =
            attached
                ? engine::AdvancedVerifyAttached(std::move(message), content, signer, lastError)
                : engine::AdvancedVerifyDetached(std::move(message), content, signer, lastError);
        break;
      case Verifier::kRaw: {
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
    if (attached) state.receivedPlainText.Assign(std::move(content));
  });
}

Status CDrennicQuorvel::QVAttachedVerify(std::u16string signedMsg) {
  return Verify(kAttachedVerify, std::move(signedMsg), {}, {});
}

Status CDrennicQuorvel::QVDetachedVerify(std::u16string signedMsg,
                                         const std::u16string& plainText) {
  return Verify(kDetachedVerify, std::move(signedMsg), plainText, {});
}

Status CDrennicQuorvel::QVAfterwardsVerify(std::u16string signedMsg) {
  return Verify(kAfterwardsVerify, std::move(signedMsg), {}, {});
}

Status CDrennicQuorvel::QVRawVerify(std::u16string signedMsg, const std::u16string& deSignerDN,
                                    const std::u16string& plainText) {
  return Verify(kRawVerify, std::move(signedMsg), plainText, deSignerDN);
}

Status CDrennicQuorvel::QVAdvanceAttachedVerify(std::u16string signedMsg) {
  return Verify(kAdvanceAttachedVerify, std::move(signedMsg), {}, {});
}

Status CDrennicQuorvel::QVAdvanceDetachedVerify(std::u16string signedMsg,
                                                const std::u16string& plainText) {
  return Verify(kAdvanceDetachedVerify, std::move(signedMsg), plainText, {});
}

Status CDrennicQuorvel::QVHashAndBase64Encode(const std::u16string& plainText,
                                              std::u16string& result) {
  std::u16string digest;
  const Status status = RunMember({}, [&] {
    if (plainText.empty()) Fail(err::kEmptyInput, msg::kSourceEmpty);
    const std::string bytes = ToBytesOrFail(plainText, msg::kCharsetConversion);
    std::string base64;
    const ErrorNumber outcome =
        engine::HashAndBase64(bytes, state.digestArithmeticId.data(), base64);
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
