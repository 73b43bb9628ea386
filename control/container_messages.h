// Error numbers and messages of the container members, besides the shared ones
// in error_numbers.h.
#pragma once

#include <cstdint>
#include <string_view>

#include "control/error_numbers.h"

namespace quorvel::err {
// The received text is not a formatted plain text: reported with the number of
// a failed structured decode.
inline constexpr ErrorNumber kNotAPlainTextContainer = kBerDecode;
// Server mode's save directory is not registered.
inline constexpr ErrorNumber kNoSaveDirectory = kDetachedNeedsContent;
}  // namespace quorvel::err

namespace quorvel::control {

namespace msg {
inline constexpr std::u16string_view kAddFormItemFailed = u"加入表单失败";
inline constexpr std::u16string_view kAddFileFailed = u"加入文件失败";
inline constexpr std::u16string_view kEncodePlainTextFailed = u"带格式原文数据编码失败";
inline constexpr std::u16string_view kReadFileFailed = u"读取文件失败";
inline constexpr std::u16string_view kNotAPlainTextContainer = u"不是约定原文，不可分解";
inline constexpr std::u16string_view kFetchFormItemFailed = u"取出表单失败";
inline constexpr std::u16string_view kFetchFileFailed = u"取出文件失败";
inline constexpr std::u16string_view kSaveFileFailed = u"保存文件失败";
}  // namespace msg

}  // namespace quorvel::control
