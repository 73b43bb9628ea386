// Code pages through the platform's own converters. HZ keeps the project's
// codec, which the platform's converters do not offer everywhere.
#include <windows.h>

#include <climits>
#include <string>

#include "platform/text/code_page.h"
#include "platform/text/hz_code_page.h"

namespace quorvel::platform {
namespace {

constexpr uint32_t kHzCodePage = 52936;
constexpr uint32_t kUtf8CodePage = 65001;

bool FitsInt(size_t size) {
  return size <= static_cast<size_t>(INT_MAX);
}

UINT Effective(uint32_t codePage) {
  return codePage == 0 ? GetACP() : codePage;
}

// Code pages whose converter can say that it put in its default character;
// the others refuse the flags that ask for it.
bool ReportsDefaultCharacter(UINT codePage) {
  if (codePage == kUtf8CodePage || codePage == 65000 || codePage == 54936 || codePage == 42) {
    return false;
  }
  return !(codePage >= 50220 && codePage <= 50229) && !(codePage >= 57002 && codePage <= 57011);
}

const wchar_t* Wide(const char16_t* units) {
  return reinterpret_cast<const wchar_t*>(units);
}

wchar_t* Wide(char16_t* units) {
  return reinterpret_cast<wchar_t*>(units);
}

std::u16string Decode(UINT codePage, std::string_view bytes) {
  if (bytes.empty() || !FitsInt(bytes.size())) return {};
  const int length = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::u16string result(static_cast<size_t>(needed), u'\0');
  if (MultiByteToWideChar(codePage, 0, bytes.data(), length, Wide(result.data()), needed) !=
      needed) {
    return {};
  }
  return result;
}

}  // namespace

std::string ConverterNameForCodePage(uint32_t codePage) {
  const UINT effective = Effective(codePage);
  if (effective != kHzCodePage && IsValidCodePage(effective) == 0) return {};
  return "cp" + std::to_string(effective);
}

CodePageStatus EncodeToCodePage(uint32_t codePage, std::u16string_view text, std::string& out) {
  if (codePage == kHzCodePage) return EncodeHz(text, out);
  const UINT effective = Effective(codePage);
  if (IsValidCodePage(effective) == 0) return CodePageStatus::kUnknownCodePage;
  if (text.empty()) {
    out.clear();
    return CodePageStatus::kOk;
  }
  if (!FitsInt(text.size())) return CodePageStatus::kFailed;
  const int length = static_cast<int>(text.size());
  DWORD flags = 0;
  BOOL usedDefault = FALSE;
  BOOL* reportDefault = nullptr;
  if (effective == kUtf8CodePage) {
    flags = WC_ERR_INVALID_CHARS;
  } else if (ReportsDefaultCharacter(effective)) {
    flags = WC_NO_BEST_FIT_CHARS;
    reportDefault = &usedDefault;
  }
  const int needed = WideCharToMultiByte(effective, flags, Wide(text.data()), length, nullptr, 0,
                                         nullptr, reportDefault);
  if (needed <= 0) return CodePageStatus::kFailed;
  if (usedDefault) return CodePageStatus::kUnmappable;
  std::string result(static_cast<size_t>(needed), '\0');
  if (WideCharToMultiByte(effective, flags, Wide(text.data()), length, result.data(), needed,
                          nullptr, reportDefault) != needed) {
    return CodePageStatus::kFailed;
  }
  out = std::move(result);
  return CodePageStatus::kOk;
}

CodePageStatus DecodeFromCodePage(uint32_t codePage, std::string_view bytes, std::u16string& out) {
  if (codePage == kHzCodePage) return DecodeHz(bytes, out);
  const UINT effective = Effective(codePage);
  if (IsValidCodePage(effective) == 0) return CodePageStatus::kUnknownCodePage;
  if (bytes.empty()) {
    out.clear();
    return CodePageStatus::kOk;
  }
  if (!FitsInt(bytes.size())) return CodePageStatus::kFailed;
  std::u16string result = Decode(effective, bytes);
  if (result.empty()) return CodePageStatus::kFailed;
  out = std::move(result);
  return CodePageStatus::kOk;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  return Decode(CP_UTF8, utf8);
}

size_t Utf16Length(std::string_view utf8) {
  if (utf8.empty() || !FitsInt(utf8.size())) return 0;
  const int needed =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  return needed > 0 ? static_cast<size_t>(needed) : 0;
}

void Utf8ToUtf16(std::string_view utf8, std::span<char16_t> out) {
  if (out.empty() || !FitsInt(utf8.size()) || !FitsInt(out.size())) return;
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), Wide(out.data()),
                      static_cast<int>(out.size()));
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  if (utf16.empty() || !FitsInt(utf16.size())) return {};
  const int length = static_cast<int>(utf16.size());
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, Wide(utf16.data()), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string result(static_cast<size_t>(needed), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, Wide(utf16.data()), length, result.data(), needed, nullptr,
                          nullptr) != needed) {
    return {};
  }
  return result;
}

}  // namespace quorvel::platform
