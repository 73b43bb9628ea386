// The messages members report in `errMsg`, and the table of every error
// number with its texts. The numbers themselves are in platform/error_numbers.h.
#pragma once

#include <cstdint>

#include <span>
#include <string_view>
#include "platform/errors/error_numbers.h"

namespace quorvel::control {

namespace err = ::quorvel::err;

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
  ErrorNumber number;
  std::string_view meaning;
  std::span<const std::u16string_view> messages;
};

// The complete table, ordered by number (descending magnitude last).
std::span<const ErrorEntry> ErrorTable();

// The row for a number, or nullptr for a number outside the table.
const ErrorEntry* FindError(ErrorNumber number);

// A failure of the container or file routines, whose codes members report as
// their own numbers.
constexpr ErrorNumber ReportedAs(int32_t code) {
  return static_cast<ErrorNumber>(code);
}

}  // namespace quorvel::control
