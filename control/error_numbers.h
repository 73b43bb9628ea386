// Error numbers reported in `errorNum`, and the messages members report in
// `errMsg`. The numbers are part of the control's contract with pages and
// servers: they never change meaning.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace quorvel::control {

namespace err {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNoMemory = -10000;
inline constexpr int32_t kEmptyInput = -10001;
inline constexpr int32_t kBase64Decode = -10002;
inline constexpr int32_t kBase64Encode = -10003;
inline constexpr int32_t kUserCancelled = -10004;
inline constexpr int32_t kNoCertificate = -10005;
inline constexpr int32_t kDetachedNeedsContent = -10006;
inline constexpr int32_t kUnknownPackage = -10007;
inline constexpr int32_t kBadInfoType = -10008;
inline constexpr int32_t kNoSignerCertificate = -10009;
inline constexpr int32_t kInvalidSignature = -10010;
inline constexpr int32_t kCertExpired = -10011;
inline constexpr int32_t kCertRevoked = -10012;
inline constexpr int32_t kChainInvalid = -10013;
inline constexpr int32_t kIssuerNotFound = -10014;
inline constexpr int32_t kNoPrivateKey = -10015;
inline constexpr int32_t kDecodeField = -10016;
inline constexpr int32_t kCertSignatureFaulty = -10017;
inline constexpr int32_t kOpenStore = -10018;
inline constexpr int32_t kAcquireProvider = -10019;
inline constexpr int32_t kSignFailed = -10020;
inline constexpr int32_t kVerifyFailed = -10021;
inline constexpr int32_t kEncryptFailed = -10022;
inline constexpr int32_t kDigestOrDecryptFailed = -10023;
inline constexpr int32_t kNoSeparator = -10024;
inline constexpr int32_t kSeparatorLimit = -10025;
inline constexpr int32_t kNoExtension = -10026;
inline constexpr int32_t kCertProperty = -10027;
inline constexpr int32_t kPublicKey = -10028;
inline constexpr int32_t kCreateHash = -10029;
inline constexpr int32_t kHashData = -10030;
inline constexpr int32_t kSignHash = -10031;
inline constexpr int32_t kVerifyHash = -10032;
inline constexpr int32_t kBadAlgorithm = -10033;
inline constexpr int32_t kToCodePage = -10034;
inline constexpr int32_t kCertHandle = -10035;
inline constexpr int32_t kFromCodePage = -10036;
inline constexpr int32_t kBerDecode = -10037;
inline constexpr int32_t kNotSignedData = -10038;
inline constexpr int32_t kSignHashPlatformA = -10051;
inline constexpr int32_t kSignHashPlatformB = -10052;
inline constexpr int32_t kNoKeyProperty = -10053;
inline constexpr int32_t kDerEncode = -10054;
inline constexpr int32_t kCopyBuffer = -10055;
inline constexpr int32_t kTooLong = -10056;
inline constexpr int32_t kTooManyCommas = -10057;
}  // namespace err

// Messages that members report. Engines never report text of their own.
namespace msg {
inline constexpr std::u16string_view kNoMemory = u"没有可用的内存空间";
inline constexpr std::u16string_view kNoMemoryShort = u"无可用内存空间";
inline constexpr std::u16string_view kSourceEmpty = u"源数据为空";
inline constexpr std::u16string_view kMustSetDefaultDn = u"必须设置默认证书DN";
inline constexpr std::u16string_view kDnDataEmpty = u"设置的DN数据为空";
inline constexpr std::u16string_view kDnEmpty = u"DN为空";
inline constexpr std::u16string_view kBase64DecodeFailed = u"Base64解码失败";
inline constexpr std::u16string_view kBase64EncodeFailed = u"Base64编码失败";
inline constexpr std::u16string_view kUserCancelled = u"用户取消";
inline constexpr std::u16string_view kNoSavePathKey = u"找不到包含文件保存路径的注册表记录项!";
inline constexpr std::u16string_view kNoStubPathValue =
    u"在相应注册表记录项中找不到“stubPath”值域!";
inline constexpr std::u16string_view kBadInfoType = u"类型错误，没有该类型的值";
inline constexpr std::u16string_view kOpenStore = u"打不开证书存储区";
inline constexpr std::u16string_view kNoSeparator = u"未设置DN分隔符";
inline constexpr std::u16string_view kSeparatorLimit = u"DN分隔符超限";
inline constexpr std::u16string_view kNoExtension = u"获取证书扩展失败";
inline constexpr std::u16string_view kBadAlgorithm = u"无效的算法标识";
inline constexpr std::u16string_view kCharsetConversion = u"字符编码转换失败";
inline constexpr std::u16string_view kConversionShort = u"编码转换失败";
inline constexpr std::u16string_view kDnTooLong = u"DN太长";
inline constexpr std::u16string_view kIssuerDnTooLong = u"IssuerDN太长";
inline constexpr std::u16string_view kDnDataTooLong = u"设置的DN数据太长";
inline constexpr std::u16string_view kFileNameTooLong = u"文件名超长";
inline constexpr std::u16string_view kDnCheckFailed = u"DN验证失败";
inline constexpr std::u16string_view kSignFailed = u"签名失败";
inline constexpr std::u16string_view kVerifyError = u"验证错误";
inline constexpr std::u16string_view kEncryptFailed = u"加密失败";
inline constexpr std::u16string_view kSignedEnvelopeFailed = u"制作带签名的数字信封失败";
inline constexpr std::u16string_view kOpenEnvelopeFailed = u"解密带签名的数字信封错误";
inline constexpr std::u16string_view kDigestFailed = u"摘要失败";
}  // namespace msg

// One row of the error table: a number, what it means, and every text that
// goes with it (messages members report, and the engines' internal texts).
struct ErrorEntry {
  int32_t number;
  std::string_view meaning;
  std::span<const std::u16string_view> messages;
};

// The complete table, ordered by number (descending magnitude last).
std::span<const ErrorEntry> ErrorTable();

// The row for a number, or nullptr for a number outside the table.
const ErrorEntry* FindError(int32_t number);

}  // namespace quorvel::control
