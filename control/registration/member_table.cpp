#include "control/registration/member_table.h"

#include <algorithm>
#include <array>

#include "control/registration/member_binding.h"

namespace quorvel::registration {
namespace {

using C = control::CDrennicQuorvel;
using enum MemberKind;
using enum ValueType;

// Parameter lists shared by several members.
constexpr ParamInfo kNoParams[] = {{"", kNone}};
constexpr std::span<const ParamInfo> kNone0(kNoParams, 0);
constexpr ParamInfo kString1[] = {{"newVal", kString}};
constexpr ParamInfo kLong1[] = {{"newVal", kLong}};
constexpr ParamInfo kFileName[] = {{"fileName", kString}};
constexpr ParamInfo kItemContent[] = {{"itemContent", kString}};
constexpr ParamInfo kSignerDn[] = {{"deSignerDN", kString}};
constexpr ParamInfo kSignedMsg[] = {{"signedMsg", kString}};
constexpr ParamInfo kDecodeText[] = {{"base64ToBeDecodedText", kString}};
constexpr ParamInfo kEncodeText[] = {{"base64ToBeEncodedText", kString}};
constexpr ParamInfo kSignedEnveloped[] = {{"signedAndEnvelopedMsg", kString}};
constexpr ParamInfo kEnveloped[] = {{"envelopedMsg", kString}};
constexpr ParamInfo kPlainSigner[] = {{"plainText", kString}, {"deSignerDN", kString}};
constexpr ParamInfo kSignedPlain[] = {{"signedMsg", kString}, {"plainText", kString}};
constexpr ParamInfo kReciptDn[] = {{"deReciptDN", kString}};
constexpr ParamInfo kType[] = {{"type", kUnsignedLong}};
constexpr ParamInfo kPlainText[] = {{"plainText", kString}};
constexpr ParamInfo kRawVerify[] = {
    {"signedMsg", kString}, {"deSignerDN", kString}, {"plainText", kString}};
constexpr ParamInfo kSignerRecipt[] = {{"deSignerDN", kString}, {"deReciptDN", kString}};
constexpr ParamInfo kCertExtension[] = {{"certDN", kString}, {"szOID", kString}};
constexpr ParamInfo kArithmetic[] = {{"ArithmeticID", kString}};
constexpr ParamInfo kDn[] = {{"DN", kString}};
constexpr ParamInfo kSnIssuer[] = {{"deSignerSN", kString}, {"IssuerDN", kString}};
constexpr ParamInfo kSn[] = {{"deSignerSN", kString}};
constexpr ParamInfo kPlainSnIssuer[] = {
    {"plainText", kString}, {"deSignerSN", kString}, {"IssuerDN", kString}};
constexpr ParamInfo kPlainSn[] = {{"plainText", kString}, {"deSignerSN", kString}};
constexpr ParamInfo kIssuers[] = {{"IssersDN", kString}};
constexpr ParamInfo kCodepage[] = {{"codepage", kUnsignedLong}};
constexpr ParamInfo kCertificate[] = {{"base64Certificate", kString}};
constexpr ParamInfo kInfo[] = {{"pInfo", kString}};
constexpr ParamInfo kDialogTexts[] = {{"dlgtitle", kString},     {"dlgprompt", kString},
                                      {"certsubject", kString},  {"certissuer", kString},
                                      {"notafter", kString},     {"OKbutton", kString},
                                      {"Cancelbutton", kString}, {"Viewbutton", kString}};

constexpr std::array<MemberInfo, kMemberCount> kMembers{{
    {1, kPropertyPut, "DNspliter", kString1, kNone, "", Bind<&C::put_DNspliter>},
    {2, kPropertyGet, "errMsg", kNone0, kString, "pVal", Bind<&C::get_errMsg>},
    {3, kPropertyGet, "errorNum", kNone0, kLong, "pVal", Bind<&C::get_errorNum>},
    {4, kPropertyGet, "MaxCompSize", kNone0, kLong, "pVal", Bind<&C::get_MaxCompSize>},
    {4, kPropertyPut, "MaxCompSize", kLong1, kNone, "", Bind<&C::put_MaxCompSize>},
    {6, kPropertyPut, "QVServerMode", kLong1, kNone, "", Bind<&C::put_QVServerMode>},
    {7, kMethod, "getVersion", kNone0, kString, "pVersion", Bind<&C::getVersion>},
    {8, kMethod, "QVAddFile", kFileName, kNone, "", Bind<&C::QVAddFile>},
    {9, kMethod, "QVAddFormItem", kItemContent, kNone, "", Bind<&C::QVAddFormItem>},
    {10, kMethod, "QVAttachedSign", kSignerDn, kString, "", Bind<&C::QVAttachedSign>},
    {11, kMethod, "QVAttachedVerify", kSignedMsg, kNone, "", Bind<&C::QVAttachedVerify>},
    {12, kMethod, "QVBase64Decode", kDecodeText, kString, "", Bind<&C::QVBase64Decode>},
    {13, kMethod, "QVBase64Encode", kEncodeText, kString, "", Bind<&C::QVBase64Encode>},
    {14, kMethod, "QVDecryptedAndVerifiedEnvelop", kSignedEnveloped, kNone, "",
     Bind<&C::QVDecryptedAndVerifiedEnvelop>},
    {15, kMethod, "QVDecryptEnvelop", kEnveloped, kNone, "", Bind<&C::QVDecryptEnvelop>},
    {16, kMethod, "QVDetachedSign", kPlainSigner, kString, "", Bind<&C::QVDetachedSign>},
    {17, kMethod, "QVDetachedVerify", kSignedPlain, kNone, "", Bind<&C::QVDetachedVerify>},
    {18, kMethod, "QVEncryptedEnvelop", kReciptDn, kString, "", Bind<&C::QVEncryptedEnvelop>},
    {19, kMethod, "QVGetFile", kNone0, kString, "", Bind<&C::QVGetFile>},
    {20, kMethod, "QVGetFormItem", kNone0, kString, "", Bind<&C::QVGetFormItem>},
    {21, kMethod, "QVGetPlainText", kNone0, kString, "", Bind<&C::QVGetPlainText>},
    {22, kMethod, "QVGetReciptCertInfo", kType, kString, "", Bind<&C::QVGetReciptCertInfo>},
    {23, kMethod, "QVGetSignerCertInfo", kType, kString, "", Bind<&C::QVGetSignerCertInfo>},
    {24, kMethod, "QVHashAndBase64Encode", kPlainText, kString, "",
     Bind<&C::QVHashAndBase64Encode>},
    {25, kMethod, "QVRawSign", kSignerDn, kString, "", Bind<&C::QVRawSign>},
    {26, kMethod, "QVRawVerify", kRawVerify, kNone, "", Bind<&C::QVRawVerify>},
    {27, kMethod, "QVSetPlainText", kPlainText, kNone, "", Bind<&C::QVSetPlainText>},
    {28, kMethod, "QVSignedAndEncryptedEnvelop", kSignerRecipt, kString, "",
     Bind<&C::QVSignedAndEncryptedEnvelop>},
    {29, kMethod, "QVAfterwardsVerify", kSignedMsg, kNone, "", Bind<&C::QVAfterwardsVerify>},
    {30, kMethod, "QVGetCertExtension", kCertExtension, kString, "", Bind<&C::QVGetCertExtension>},
    {31, kMethod, "QVSetDigestArithmetic", kArithmetic, kNone, "", Bind<&C::QVSetDigestArithmetic>},
    {32, kMethod, "QVSetSymmetryArithmetic", kArithmetic, kNone, "",
     Bind<&C::QVSetSymmetryArithmetic>},
    {33, kMethod, "IsCertExists", kDn, kUnsignedLong, "pdwRet", Bind<&C::IsCertExists>},
    {34, kMethod, "QVAttachedSignByIssuerSN", kSnIssuer, kString, "",
     Bind<&C::QVAttachedSignByIssuerSN>},
    {35, kMethod, "QVAttachedSignBySN", kSn, kString, "", Bind<&C::QVAttachedSignBySN>},
    {36, kMethod, "QVDetachedSignByIssuerSN", kPlainSnIssuer, kString, "",
     Bind<&C::QVDetachedSignByIssuerSN>},
    {37, kMethod, "QVDetachedSignBySN", kPlainSn, kString, "", Bind<&C::QVDetachedSignBySN>},
    {38, kMethod, "QVEnumCertsDNByIssers", kIssuers, kString, "CertsDN",
     Bind<&C::QVEnumCertsDNByIssers>},
    {39, kPropertyGet, "errorCode", kNone0, kLong, "pVal", Bind<&C::get_errorCode>},
    {40, kMethod, "QVAttachedVerifySignedFile", kFileName, kNone, "",
     Bind<&C::QVAttachedVerifySignedFile>},
    {41, kMethod, "QVUseKeySpecAttachedSign", kSignerDn, kString, "",
     Bind<&C::QVUseKeySpecAttachedSign>},
    {42, kMethod, "QVUseKeySpecDetachedSign", kPlainSigner, kString, "",
     Bind<&C::QVUseKeySpecDetachedSign>},
    {43, kMethod, "QVUseKeySpecRawSign", kSignerDn, kString, "", Bind<&C::QVUseKeySpecRawSign>},
    {44, kMethod, "QVUseKeySpecAttachedSignByIssuerSN", kSnIssuer, kString, "",
     Bind<&C::QVUseKeySpecAttachedSignByIssuerSN>},
    {45, kMethod, "QVUseKeySpecAttachedSignBySN", kSn, kString, "",
     Bind<&C::QVUseKeySpecAttachedSignBySN>},
    {46, kMethod, "QVUseKeySpecDetachedSignByIssuerSN", kPlainSnIssuer, kString, "",
     Bind<&C::QVUseKeySpecDetachedSignByIssuerSN>},
    {47, kMethod, "QVUseKeySpecDetachedSignBySN", kPlainSn, kString, "",
     Bind<&C::QVUseKeySpecDetachedSignBySN>},
    {48, kMethod, "QVUseKeySpecSignedAndEncryptedEnvelop", kSignerRecipt, kString, "",
     Bind<&C::QVUseKeySpecSignedAndEncryptedEnvelop>},
    {49, kMethod, "QVSetCodePage", kCodepage, kNone, "", Bind<&C::QVSetCodePage>},
    {50, kMethod, "QVAddFileForEncrypt", kFileName, kNone, "", Bind<&C::QVAddFileForEncrypt>},
    {51, kMethod, "QVEncryptFileAndSave", kCertificate, kNone, "", Bind<&C::QVEncryptFileAndSave>},
    {52, kMethod, "QVSetCopyRightInfo", kInfo, kNone, "", Bind<&C::QVSetCopyRightInfo>},
    {53, kMethod, "QVSetDialogPrompt", kDialogTexts, kNone, "", Bind<&C::QVSetDialogPrompt>},
    {54, kMethod, "QVAdvanceAttachedSign", kSignerDn, kString, "", Bind<&C::QVAdvanceAttachedSign>},
    {55, kMethod, "QVAdvanceAttachedVerify", kSignedMsg, kNone, "",
     Bind<&C::QVAdvanceAttachedVerify>},
    {56, kMethod, "QVUseSpecAdvanceAttachedSign", kSignerDn, kString, "",
     Bind<&C::QVUseSpecAdvanceAttachedSign>},
    {57, kMethod, "QVAdvanceDetachedSign", kPlainSigner, kString, "",
     Bind<&C::QVAdvanceDetachedSign>},
    {58, kMethod, "QVUseSpecAdvanceDetachedSign", kPlainSigner, kString, "",
     Bind<&C::QVUseSpecAdvanceDetachedSign>},
    {59, kMethod, "QVAdvanceDetachedVerify", kSignedPlain, kNone, "",
     Bind<&C::QVAdvanceDetachedVerify>},
}};

// Every bound member's C++ signature must match what the table declares, so
// the dispatcher's conversions always produce what the function takes.
constexpr bool BindingsMatchDeclarations() {
  for (const MemberInfo& member : kMembers) {
    if (member.binding == nullptr) continue;
    if (member.binding->output != member.result) return false;
    if (member.binding->inputs.size() != member.params.size()) return false;
    for (size_t i = 0; i < member.params.size(); ++i) {
      if (member.binding->inputs[i] != member.params[i].type) return false;
    }
  }
  return true;
}
// GCC's sanitizer instrumentation makes address comparisons non-constant, so
// the sanitizer build relies on the normal build for this check.
#if !defined(__SANITIZE_ADDRESS__)
static_assert(BindingsMatchDeclarations(), "a member's signature differs from its table row");
#endif

}  // namespace

std::span<const MemberInfo> MemberTable() {
  return kMembers;
}

std::string_view KindName(MemberKind kind) {
  switch (kind) {
    case kMethod:
      return "method";
    case kPropertyGet:
      return "get";
    case kPropertyPut:
      return "put";
  }
  return "method";
}

std::string_view TypeName(ValueType type) {
  switch (type) {
    case kString:
      return "string";
    case kLong:
      return "long";
    case kUnsignedLong:
      return "unsigned long";
    case kNone:
      break;
  }
  return "none";
}

}  // namespace quorvel::registration
