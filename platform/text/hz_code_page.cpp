#include "platform/text/hz_code_page.h"

#include "platform/text/icu_converter.h"

namespace quorvel::platform {
namespace {

// EUC-CN: GB2312's two-byte characters with both bytes in 0xA1..0xFE.
const std::string kGb2312 = "GB2312";

constexpr char16_t kReplacement = u'\uFFFD';

bool IsGbByte(unsigned char byte) {
  return byte >= 0xA1 && byte <= 0xFE;
}

bool IsHzByte(unsigned char byte) {
  return byte >= 0x21 && byte <= 0x7E;
}

// Appends the HZ form of a run of non-ASCII text, "~{" ... "~}" included.
CodePageStatus AppendGbRun(std::u16string_view run, std::string& out) {
  std::string euc;
  const CodePageStatus status = EncodeWithConverter(kGb2312, run, euc);
  if (status != CodePageStatus::kOk) return status;
  if (euc.size() % 2 != 0) return CodePageStatus::kUnmappable;
  for (const char byte : euc) {
    if (!IsGbByte(static_cast<unsigned char>(byte))) return CodePageStatus::kUnmappable;
  }
  out += "~{";
  for (const char byte : euc) out += static_cast<char>(static_cast<unsigned char>(byte) - 0x80);
  out += "~}";
  return CodePageStatus::kOk;
}

// Appends the text of a run of HZ byte pairs taken out of GB mode.
void AppendDecodedGbRun(std::string& euc, std::u16string& out) {
  if (euc.empty()) return;
  std::u16string text;
  if (DecodeWithConverter(kGb2312, euc, text) == CodePageStatus::kOk) {
    out += text;
  } else {
    out.append(euc.size() / 2, kReplacement);
  }
  euc.clear();
}

}  // namespace

CodePageStatus EncodeHz(std::u16string_view text, std::string& out) {
  std::string result;
  result.reserve(text.size());
  std::size_t index = 0;
  while (index < text.size()) {
    const char16_t unit = text[index];
    if (unit < 0x80) {
      if (unit == u'~') result += '~';
      result += static_cast<char>(unit);
      ++index;
      continue;
    }
    std::size_t end = index;
    while (end < text.size() && text[end] >= 0x80) ++end;
    const CodePageStatus status = AppendGbRun(text.substr(index, end - index), result);
    if (status != CodePageStatus::kOk) return status;
    index = end;
  }
  out = std::move(result);
  return CodePageStatus::kOk;
}

CodePageStatus DecodeHz(std::string_view bytes, std::u16string& out) {
  std::u16string result;
  result.reserve(bytes.size());
  std::string euc;
  bool gbMode = false;
  std::size_t index = 0;
  while (index < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[index]);
    const bool hasNext = index + 1 < bytes.size();
    const auto next = static_cast<unsigned char>(hasNext ? bytes[index + 1] : '\0');
    if (byte == '~' && hasNext && (next == '{' || next == '}')) {
      AppendDecodedGbRun(euc, result);
      gbMode = next == '{';
      index += 2;
    } else if (byte == '~' && hasNext && next == '\n') {
      index += 2;
    } else if (gbMode && byte == '~' && hasNext && next == '~') {
      AppendDecodedGbRun(euc, result);
      result += u'~';
      index += 2;
    } else if (gbMode && byte != '\r' && byte != '\n') {
      if (hasNext && IsHzByte(byte) && IsHzByte(next)) {
        euc += static_cast<char>(byte | 0x80);
        euc += static_cast<char>(next | 0x80);
        index += 2;
      } else {
        AppendDecodedGbRun(euc, result);
        result += kReplacement;
        ++index;
      }
    } else {
      AppendDecodedGbRun(euc, result);
      gbMode = false;
      if (byte == '~' && hasNext && next == '~') {
        result += u'~';
        index += 2;
      } else {
        result += byte < 0x80 && byte != '~' ? static_cast<char16_t>(byte) : kReplacement;
        ++index;
      }
    }
  }
  AppendDecodedGbRun(euc, result);
  out = std::move(result);
  return CodePageStatus::kOk;
}

}  // namespace quorvel::platform
