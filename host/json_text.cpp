#include "host/json_text.h"

#include <cstdint>

namespace quorvel::host {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr size_t kClosingRoom = 64;

char* WriteUtf8(char32_t c, char* to) {
  if (c < 0x800) {
    *to++ = static_cast<char>(0xC0 | (c >> 6));
  } else if (c < 0x10000) {
    *to++ = static_cast<char>(0xE0 | (c >> 12));
    *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  } else {
    *to++ = static_cast<char>(0xF0 | (c >> 18));
    *to++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  }
  *to++ = static_cast<char>(0x80 | (c & 0x3F));
  return to;
}

char* WriteEscaped(char16_t c, char* to) {
  static constexpr char kHex[] = "0123456789abcdef";
  static constexpr std::u16string_view kFrom = u"\"\\\b\f\n\r\t";
  static constexpr std::string_view kTo = "\"\\bfnrt";
  *to++ = '\\';
  if (const size_t k = kFrom.find(c); k != std::u16string_view::npos) {
    *to++ = kTo[k];
    return to;
  }
  for (const char digit : {'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]}) *to++ = digit;
  return to;
}

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

void AppendJsonString(std::u16string_view text, std::string& out) {
  // Measured first, without branches, so that the answer is written into its
  // final place once.
  size_t length = 2 + text.size();
  unsigned surrogates = 0;
  for (const char16_t c : text) {
    const uint32_t u = c;
    const uint32_t shortEscape = (u == 8) | (u == 9) | (u == 10) | (u == 12) | (u == 13);
    length +=
        (u >= 0x80) + (u >= 0x800) + (u == '"') + (u == '\\') + (u < 0x20) * 5 - shortEscape * 4;
    surrogates |= (u - 0xD800) < 0x800;
  }
  // Each surrogate was counted as the three bytes of U+FFFD, which a lone
  // one becomes; a pair is one character of four bytes.
  if (surrogates != 0) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
      if (IsHighSurrogate(text[i]) && IsLowSurrogate(text[i + 1])) {
        length -= 2;
        ++i;
      }
    }
  }
  const size_t start = out.size();
  // Room for the envelope's closing bytes, so that finishing the answer does
  // not copy it into a buffer twice its size.
  out.reserve(start + length + kClosingRoom);
  out.resize(start + length);
  char* to = out.data() + start;
  *to++ = '"';
  const auto plain = [](char16_t c) { return c >= 0x20 && c < 0x80 && c != u'"' && c != u'\\'; };
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (plain(c)) {
      // A run of plain ASCII: found first, then narrowed in one loop.
      size_t end = i + 1;
      while (end < text.size() && plain(text[end])) ++end;
      for (size_t k = i; k < end; ++k) to[k - i] = static_cast<char>(text[k]);
      to += end - i;
      i = end - 1;
    } else if (c < 0x80) {
      to = WriteEscaped(c, to);
    } else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      to = WriteUtf8(0x10000 + ((char32_t{c} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00),
                     to);
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      to = WriteUtf8(kReplacement, to);
    } else {
      to = WriteUtf8(c, to);
    }
  }
  *to = '"';
}

}  // namespace quorvel::host
