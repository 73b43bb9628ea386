// The control object: every piece of state that survives between calls, and
// the members that a page or automation client calls.
//
// Each member returns a Status (0 success, 1 failure) and reports its outcome
// in `errorNum`, `errMsg` and, where an engine failed, `errorCode`.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "control/member_failure.h"
#include "control/received_plain_text.h"
#include "engine/engine.h"
#include "platform/ui/painter.h"

namespace quorvel::control {

enum class Status : int32_t { kOk = 0, kFalse = 1 };

inline constexpr std::u16string_view kVersionText = u"2.0.59.4";
inline constexpr int32_t kDefaultMaxCompSize = 51200;
inline constexpr uint32_t kDefaultCodePage = 936;
// Algorithm identifiers live in 128-byte fields with room for a NUL.
inline constexpr size_t kAlgorithmIdCapacity = 128;
inline constexpr size_t kMaxAlgorithmIdBytes = kAlgorithmIdCapacity - 1;

using CertInfoRecord = std::array<std::u16string, 5>;

// A dotted identifier in its zero-filled 128-byte field.
constexpr std::array<char, kAlgorithmIdCapacity> AlgorithmId(std::string_view dotted) {
  std::array<char, kAlgorithmIdCapacity> field{};
  for (size_t i = 0; i < dotted.size() && i < kMaxAlgorithmIdBytes; ++i) field[i] = dotted[i];
  return field;
}

// Everything a control object keeps between calls, in declaration order.
struct ControlState {
  int32_t MaxCompSize = kDefaultMaxCompSize;
  int32_t errorNum = 0;
  int32_t errorCode = 0;
  std::u16string DNspliter = u"|";
  std::u16string errMsg;
  CertInfoRecord signerCertInfo;
  CertInfoRecord reciptCertInfo;
  std::string outgoingPlainText;
  ReceivedPlainText receivedPlainText;
  std::u16string copyRightInfo =
      u"Quorvel 2.0 signing control. Copyright (C) 2026 the Quorvel developers.";
  std::u16string dlgtitle = u"请选择您要用的证书";
  std::u16string dlgprompt = u"请在列表中选择证书";
  std::u16string certsubject = u"主题";
  std::u16string certissuer = u"颁发者";
  std::u16string notafter = u"截止日期";
  std::u16string OKbutton = u"确定";
  std::u16string Cancelbutton = u"取消";
  std::u16string Viewbutton = u"查看";
  std::array<char, kAlgorithmIdCapacity> digestArithmeticId = AlgorithmId("1.3.14.3.2.26");
  std::array<char, kAlgorithmIdCapacity> symmetryArithmeticId = AlgorithmId("1.2.840.113549.3.4");
  int32_t serverMode = 0;
  uint32_t codePage = kDefaultCodePage;
};

struct SigningRow;
struct VerificationRow;
enum class Envelope;

class CDrennicQuorvel {
 public:
  CDrennicQuorvel();
  CDrennicQuorvel(const CDrennicQuorvel&) = delete;
  CDrennicQuorvel& operator=(const CDrennicQuorvel&) = delete;

  // Read-only view of the state, for diagnostics and tests.
  const ControlState& Inspect() const { return state; }

  // Properties.
  Status put_DNspliter(const std::u16string& value);
  Status get_errMsg(std::u16string& value);
  Status get_errorNum(int32_t& value);
  Status get_errorCode(int32_t& value);
  Status get_MaxCompSize(int32_t& value);
  Status put_MaxCompSize(int32_t value);
  Status put_QVServerMode(int32_t value);

  // Draws the control's face when its host asks: its bounds outlined and a
  // greeting centred on them, the baseline at the vertical centre.
  void Draw(platform::Painter& painter, const platform::Rect& bounds) const;

  // Settings.
  Status getVersion(std::u16string& pVersion);
  Status QVSetCodePage(uint32_t codepage);
  Status QVSetDigestArithmetic(const std::u16string& ArithmeticID);
  Status QVSetSymmetryArithmetic(const std::u16string& ArithmeticID);
  Status QVSetCopyRightInfo(const std::u16string& pInfo);
  Status QVSetDialogPrompt(const std::u16string& dlgtitle, const std::u16string& dlgprompt,
                           const std::u16string& certsubject, const std::u16string& certissuer,
                           const std::u16string& notafter, const std::u16string& OKbutton,
                           const std::u16string& Cancelbutton, const std::u16string& Viewbutton);

  // Coding.
  Status QVBase64Encode(const std::u16string& base64ToBeEncodedText, std::u16string& result);
  Status QVBase64Decode(const std::u16string& base64ToBeDecodedText, std::u16string& result);

  // ---- Container: building the outgoing text and taking the received one apart.
  Status QVSetPlainText(const std::u16string& plainText);
  Status QVAddFormItem(const std::u16string& itemContent);
  Status QVAddFile(const std::u16string& fileName);
  Status QVGetPlainText(std::u16string& result);
  Status QVGetFormItem(std::u16string& result);
  Status QVGetFile(std::u16string& result);

  // ---- Certificate queries: an extension of a certificate as text, whether a
  // personal certificate of a DN exists, the subjects issued by given issuers.
  Status QVGetCertExtension(const std::u16string& certDN, const std::u16string& szOID,
                            std::u16string& result);
  Status IsCertExists(const std::u16string& DN, uint32_t& pdwRet);
  Status QVEnumCertsDNByIssers(const std::u16string& IssersDN, std::u16string& result);

  // Signing: the signature of the stored text or of `plainText`, by the
  // certificate a DN list, a serial number (and issuer) names, or the user's
  // choice.
  Status QVAttachedSign(const std::u16string& deSignerDN, std::u16string& result);
  Status QVUseKeySpecAttachedSign(const std::u16string& deSignerDN, std::u16string& result);
  Status QVDetachedSign(const std::u16string& plainText, const std::u16string& deSignerDN,
                        std::u16string& result);
  Status QVUseKeySpecDetachedSign(const std::u16string& plainText, const std::u16string& deSignerDN,
                                  std::u16string& result);
  Status QVRawSign(const std::u16string& deSignerDN, std::u16string& result);
  Status QVUseKeySpecRawSign(const std::u16string& deSignerDN, std::u16string& result);
  Status QVAttachedSignBySN(const std::u16string& deSignerSN, std::u16string& result);
  Status QVUseKeySpecAttachedSignBySN(const std::u16string& deSignerSN, std::u16string& result);
  Status QVDetachedSignBySN(const std::u16string& plainText, const std::u16string& deSignerSN,
                            std::u16string& result);
  Status QVUseKeySpecDetachedSignBySN(const std::u16string& plainText,
                                      const std::u16string& deSignerSN, std::u16string& result);
  Status QVAttachedSignByIssuerSN(const std::u16string& deSignerSN, const std::u16string& IssuerDN,
                                  std::u16string& result);
  Status QVUseKeySpecAttachedSignByIssuerSN(const std::u16string& deSignerSN,
                                            const std::u16string& IssuerDN, std::u16string& result);
  Status QVDetachedSignByIssuerSN(const std::u16string& plainText, const std::u16string& deSignerSN,
                                  const std::u16string& IssuerDN, std::u16string& result);
  Status QVUseKeySpecDetachedSignByIssuerSN(const std::u16string& plainText,
                                            const std::u16string& deSignerSN,
                                            const std::u16string& IssuerDN, std::u16string& result);
  // The same with the message assembled by hand from a signed hash.
  Status QVAdvanceAttachedSign(const std::u16string& deSignerDN, std::u16string& result);
  Status QVUseSpecAdvanceAttachedSign(const std::u16string& deSignerDN, std::u16string& result);
  Status QVAdvanceDetachedSign(const std::u16string& plainText, const std::u16string& deSignerDN,
                               std::u16string& result);
  Status QVUseSpecAdvanceDetachedSign(const std::u16string& plainText,
                                      const std::u16string& deSignerDN, std::u16string& result);

  // Files: a signed file verified and its content saved; a file encrypted for
  // a certificate given in Base64 and saved.
  Status QVAttachedVerifySignedFile(const std::u16string& fileName);
  Status QVAddFileForEncrypt(const std::u16string& fileName);
  Status QVEncryptFileAndSave(const std::u16string& base64Certificate);

  // Verification, digest and certificate details.
  Status QVAttachedVerify(std::u16string signedMsg);
  Status QVDetachedVerify(std::u16string signedMsg, const std::u16string& plainText);
  Status QVAfterwardsVerify(std::u16string signedMsg);
  Status QVRawVerify(std::u16string signedMsg, const std::u16string& deSignerDN,
                     const std::u16string& plainText);
  Status QVAdvanceAttachedVerify(std::u16string signedMsg);
  Status QVAdvanceDetachedVerify(std::u16string signedMsg, const std::u16string& plainText);
  Status QVHashAndBase64Encode(const std::u16string& plainText, std::u16string& result);
  Status QVGetSignerCertInfo(uint32_t type, std::u16string& result);
  Status QVGetReciptCertInfo(uint32_t type, std::u16string& result);

  // ---- Digital envelopes: the stored text encrypted for a recipient (signed
  // by the user first or not), and opening such envelopes into the received
  // text.
  Status QVEncryptedEnvelop(const std::u16string& deReciptDN, std::u16string& result);
  Status QVSignedAndEncryptedEnvelop(const std::u16string& deSignerDN,
                                     const std::u16string& deReciptDN, std::u16string& result);
  Status QVUseKeySpecSignedAndEncryptedEnvelop(const std::u16string& deSignerDN,
                                               const std::u16string& deReciptDN,
                                               std::u16string& result);
  Status QVDecryptEnvelop(const std::u16string& envelopedMsg);
  Status QVDecryptedAndVerifiedEnvelop(const std::u16string& signedAndEnvelopedMsg);

  // For tests and automation only, until verification fills the received text:
  // replaces the received text with `bytes`.
  void SetReceivedPlainTextForTesting(std::string bytes);

 private:
  // What a member's failure handler cleans up besides reporting.
  struct CleanupRules {
    bool emptiesOutgoingPlainText = false;
    bool clearsSignerCertInfo = false;
    bool clearsReciptCertInfo = false;
    std::u16string_view noMemoryMessage;
  };

  // Runs a member body under the member's one failure handler. On success
  // `errMsg` is cleared and `errorNum` set to 0; on failure the clean-up
  // rules apply and the failure is reported.
  template <typename Body>
  Status RunMember(const CleanupRules& rules, Body&& body);

  Status Sign(const SigningRow& row, const std::u16string& plainText, const std::u16string& naming,
              const std::u16string& issuer, std::u16string& result);
  Status Verify(const VerificationRow& row, std::u16string signedMsg,
                const std::u16string& plainText, const std::u16string& deSignerDN);
  Status CertInfoText(const CertInfoRecord& record, uint32_t type, std::u16string& result);
  Status MakeEnvelope(Envelope kind, const std::u16string& deSignerDN,
                      const std::u16string& deReciptDN, std::u16string& result);
  Status OpenEnvelope(Envelope kind, const std::u16string& message);

  // The chooser's nine texts: the eight dialog texts, then copyRightInfo.
  platform::ChooserTexts ChooserTexts() const;
  engine::SignSettings SignSettingsFor(bool signatureKeysOnly) const;
  // Replaces each signer detail an engine produced; the others stay.
  void StoreSignerDetails(const engine::CertDetails& details);
  // Replaces each recipient detail an engine produced; the others stay.
  void StoreReciptDetails(const engine::CertDetails& details);

  // Conversions that fail the member with the given message.
  std::string ToBytesOrFail(std::u16string_view text, std::u16string_view message) const;
  std::u16string FromBytesOrFail(std::string_view bytes, std::u16string_view message) const;

  Status SetAlgorithmId(const std::u16string& id, std::array<char, kAlgorithmIdCapacity>& field);

  ControlState state;
};

}  // namespace quorvel::control
