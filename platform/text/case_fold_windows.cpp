#include <windows.h>

#include <climits>
#include <string>

#include "platform/text/case_fold.h"

namespace quorvel::platform {

bool UppercaseUtf8(std::string_view text, std::string* upper, std::size_t& utf16Length) {
  utf16Length = 0;
  if (upper != nullptr) upper->clear();
  if (text.empty()) return true;
  if (text.size() > static_cast<std::size_t>(INT_MAX) || text.find('\0') != text.npos) {
    return false;
  }
  const int length = static_cast<int>(text.size());
  const int units =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (units <= 0) return false;
  utf16Length = static_cast<std::size_t>(units);
  if (upper == nullptr) return true;
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(), units) !=
      units) {
    return false;
  }
  CharUpperBuffW(wide.data(), static_cast<DWORD>(units));
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  upper->resize(static_cast<std::size_t>(bytes));
  return WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, upper->data(), bytes, nullptr,
                             nullptr) == bytes;
}

namespace {

// Upper case is the platform's own way of comparing without regard to case.
std::u16string Upper(std::u16string_view text) {
  std::u16string upper(text);
  if (!upper.empty()) {
    CharUpperBuffW(reinterpret_cast<wchar_t*>(upper.data()), static_cast<DWORD>(upper.size()));
  }
  return upper;
}

}  // namespace

bool ContainsFolded(std::u16string_view text, std::u16string_view part) {
  if (text.size() > static_cast<std::size_t>(INT_MAX)) return false;
  return Upper(text).find(Upper(part)) != std::u16string::npos;
}

}  // namespace quorvel::platform
