#include "platform/text/code_page.h"

#include <langinfo.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

#include "platform/text/hz_code_page.h"
#include "platform/text/icu_converter.h"

namespace quorvel::platform {
namespace {

struct CodePageName {
  uint32_t number;
  const char* converter;
};

// Platform code-page numbers and the ICU converters that hold the same tables.
constexpr std::array kCodePages{
    CodePageName{437, "IBM437"},        CodePageName{850, "IBM850"},
    CodePageName{852, "IBM852"},        CodePageName{866, "IBM866"},
    CodePageName{874, "windows-874"},   CodePageName{932, "windows-932"},
    CodePageName{936, "windows-936"},   CodePageName{949, "windows-949"},
    CodePageName{950, "windows-950"},   CodePageName{1250, "windows-1250"},
    CodePageName{1251, "windows-1251"}, CodePageName{1252, "windows-1252"},
    CodePageName{1253, "windows-1253"}, CodePageName{1254, "windows-1254"},
    CodePageName{1255, "windows-1255"}, CodePageName{1256, "windows-1256"},
    CodePageName{1257, "windows-1257"}, CodePageName{1258, "windows-1258"},
    CodePageName{10000, "macintosh"},   CodePageName{20127, "US-ASCII"},
    CodePageName{20866, "KOI8-R"},      CodePageName{20932, "EUC-JP"},
    CodePageName{20936, "GB2312"},      CodePageName{21866, "KOI8-U"},
    CodePageName{28591, "ISO-8859-1"},  CodePageName{28592, "ISO-8859-2"},
    CodePageName{28593, "ISO-8859-3"},  CodePageName{28594, "ISO-8859-4"},
    CodePageName{28595, "ISO-8859-5"},  CodePageName{28596, "ISO-8859-6"},
    CodePageName{28597, "ISO-8859-7"},  CodePageName{28598, "ISO-8859-8"},
    CodePageName{28599, "ISO-8859-9"},  CodePageName{28605, "ISO-8859-15"},
    CodePageName{50220, "ISO-2022-JP"}, CodePageName{51932, "EUC-JP"},
    CodePageName{51949, "EUC-KR"},      CodePageName{52936, "HZ-GB-2312"},
    CodePageName{54936, "GB18030"},     CodePageName{65001, "UTF-8"},
};

bool FitsInt32(size_t size) {
  return size <= static_cast<size_t>(std::numeric_limits<int32_t>::max());
}

constexpr uint32_t kHzCodePage = 52936;

// ASCII text copied unit for unit into the other width, in blocks whose
// check and copy run together; false, leaving `out` alone, at the first
// block holding anything else. The first block is looked at before the
// result is allocated, so that other text costs next to nothing here.
template <typename From, typename To>
bool CopyAscii(std::basic_string_view<From> text, std::basic_string<To>& out) {
  constexpr size_t kBlock = 4096;
  const auto highBits = [](std::basic_string_view<From> block) {
    uint32_t seen = 0;
    for (const From unit : block) seen |= static_cast<uint32_t>(unit);
    return seen >= 0x80;  // a negative char reads as all high bits
  };
  if (highBits(text.substr(0, kBlock))) return false;
  std::basic_string<To> result(text.size(), To{});
  for (size_t start = 0; start < text.size(); start += kBlock) {
    const std::basic_string_view<From> block = text.substr(start, kBlock);
    if (start != 0 && highBits(block)) return false;
    std::copy(block.begin(), block.end(), result.begin() + static_cast<ptrdiff_t>(start));
  }
  out = std::move(result);
  return true;
}

}  // namespace

std::string ConverterNameForCodePage(uint32_t codePage) {
  if (codePage == 0) {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && *codeset != '\0' ? codeset : "US-ASCII";
  }
  for (const auto& entry : kCodePages) {
    if (entry.number == codePage) return entry.converter;
  }
  return {};
}

CodePageStatus EncodeToCodePage(uint32_t codePage, std::u16string_view text, std::string& out) {
  if (KeepsAsciiAsIs(codePage) && CopyAscii(text, out)) return CodePageStatus::kOk;
  if (codePage == kHzCodePage) return EncodeHz(text, out);
  const std::string name = ConverterNameForCodePage(codePage);
  if (name.empty()) return CodePageStatus::kUnknownCodePage;
  return EncodeWithConverter(name, text, out);
}

CodePageStatus DecodeFromCodePage(uint32_t codePage, std::string_view bytes, std::u16string& out) {
  if (KeepsAsciiAsIs(codePage) && CopyAscii(bytes, out)) return CodePageStatus::kOk;
  if (codePage == kHzCodePage) return DecodeHz(bytes, out);
  const std::string name = ConverterNameForCodePage(codePage);
  if (name.empty()) return CodePageStatus::kUnknownCodePage;
  return DecodeWithConverter(name, bytes, out);
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  if (utf8.empty() || !FitsInt32(utf8.size())) return {};
  int32_t needed = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(nullptr, 0, &needed, utf8.data(), static_cast<int32_t>(utf8.size()), 0xFFFD,
                       nullptr, &status);
  std::u16string result(static_cast<size_t>(needed), u'\0');
  status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(reinterpret_cast<UChar*>(result.data()), needed, nullptr, utf8.data(),
                       static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &status);
  return U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING ? std::u16string{} : result;
}

size_t Utf16Length(std::string_view utf8) {
  if (utf8.empty() || !FitsInt32(utf8.size())) return 0;
  int32_t needed = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(nullptr, 0, &needed, utf8.data(), static_cast<int32_t>(utf8.size()), 0xFFFD,
                       nullptr, &status);
  return static_cast<size_t>(std::max(needed, 0));
}

void Utf8ToUtf16(std::string_view utf8, std::span<char16_t> out) {
  if (out.empty() || !FitsInt32(utf8.size()) || !FitsInt32(out.size())) return;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                       nullptr, utf8.data(), static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr,
                       &status);
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  if (utf16.empty() || !FitsInt32(utf16.size())) return {};
  const auto* source = reinterpret_cast<const UChar*>(utf16.data());
  const auto length = static_cast<int32_t>(utf16.size());
  int32_t needed = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(nullptr, 0, &needed, source, length, 0xFFFD, nullptr, &status);
  std::string result(static_cast<size_t>(needed), '\0');
  status = U_ZERO_ERROR;
  u_strToUTF8WithSub(result.data(), needed, nullptr, source, length, 0xFFFD, nullptr, &status);
  return U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING ? std::string{} : result;
}

}  // namespace quorvel::platform
