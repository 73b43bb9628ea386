#include <windows.h>

#include <climits>
#include <string>

#include "platform/text/code_page.h"
#include "platform/text/idn.h"

namespace quorvel::platform {

std::optional<std::string> HostNameToUnicode(std::string_view asciiHost) {
  constexpr std::size_t kMaxHostName = 255;
  if (asciiHost.empty() || asciiHost.size() > kMaxHostName) return std::nullopt;
  const std::u16string ascii = Utf8ToUtf16(asciiHost);
  if (ascii.empty()) return std::nullopt;
  const auto* units = reinterpret_cast<const wchar_t*>(ascii.data());
  const int length = static_cast<int>(ascii.size());
  const int needed = IdnToUnicode(0, units, length, nullptr, 0);
  if (needed <= 0) return std::nullopt;
  std::u16string unicode(static_cast<std::size_t>(needed), u'\0');
  if (IdnToUnicode(0, units, length, reinterpret_cast<wchar_t*>(unicode.data()), needed) !=
      needed) {
    return std::nullopt;
  }
  return Utf16ToUtf8(unicode);
}

}  // namespace quorvel::platform
