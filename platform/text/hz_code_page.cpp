#include "platform/text/hz_code_page.h"

namespace quorvel::platform {
namespace {

// EUC-CN: GB2312's two-byte characters with both bytes in 0xA1..0xFE.
constexpr uint32_t kGb2312 = 20936;

constexpr char16_t kReplacement = u'\uFFFD';

bool IsGbByte(unsigned char byte) {
  return byte >= 0xA1 && byte <= 0xFE;
}

bool IsHzByte(unsigned char byte) {
  return byte >= 0x21 && byte <= 0x7E;
}

// Appends the text of a run of HZ byte pairs taken out of GB mode.
void AppendDecodedGbRun(std::string& euc, std::u16string& out) {
  if (euc.empty()) return;
  std::u16string text;
  if (DecodeFromCodePage(kGb2312, euc, text) == CodePageStatus::kOk) {
    out += text;
  } else {
    out.append(euc.size() / 2, kReplacement);
  }
  euc.clear();
}

}  // namespace

// The text is converted to EUC-CN in one pass: ASCII comes out as single bytes
// below 0x80, every GB2312 character as two bytes in 0xA1..0xFE, and anything
// else means the character is not in GB2312.
CodePageStatus EncodeHz(std::u16string_view text, std::string& out) {
  std::string euc;
  const CodePageStatus status = EncodeToCodePage(kGb2312, text, euc);
  if (status != CodePageStatus::kOk) return status;
  std::string result;
  result.reserve(euc.size() + 4);
  bool gbMode = false;
  for (std::size_t index = 0; index < euc.size(); ++index) {
    const auto byte = static_cast<unsigned char>(euc[index]);
    if (byte < 0x80) {
      if (gbMode) result += "~}";
      gbMode = false;
      if (byte == '~') result += '~';
      result += static_cast<char>(byte);
      continue;
    }
    if (index + 1 == euc.size() || !IsGbByte(byte) ||
        !IsGbByte(static_cast<unsigned char>(euc[index + 1]))) {
      return CodePageStatus::kUnmappable;
    }
    if (!gbMode) result += "~{";
    gbMode = true;
    result += static_cast<char>(byte & 0x7F);
    result += static_cast<char>(euc[++index] & 0x7F);
  }
  if (gbMode) result += "~}";
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
    } else if (byte == '~' && hasNext && next == '~') {
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
      result += byte < 0x80 && byte != '~' ? static_cast<char16_t>(byte) : kReplacement;
      ++index;
    }
  }
  AppendDecodedGbRun(euc, result);
  out = std::move(result);
  return CodePageStatus::kOk;
}

}  // namespace quorvel::platform
