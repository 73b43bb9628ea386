#include "host/json_text.h"

namespace quorvel::host {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void AppendEscaped(char16_t c, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  switch (c) {
    case u'"':
      out += "\\\"";
      return;
    case u'\\':
      out += "\\\\";
      return;
    case u'\b':
      out += "\\b";
      return;
    case u'\f':
      out += "\\f";
      return;
    case u'\n':
      out += "\\n";
      return;
    case u'\r':
      out += "\\r";
      return;
    case u'\t':
      out += "\\t";
      return;
    default:
      out += "\\u00";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
  }
}

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

void AppendJsonString(std::u16string_view text, std::string& out) {
  // Most answers are Base64 or other ASCII: one byte a unit, reserved once.
  out.reserve(out.size() + text.size() + 2);
  out.push_back('"');
  const auto plain = [](char16_t c) { return c >= 0x20 && c < 0x80 && c != u'"' && c != u'\\'; };
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (plain(c)) {
      // A run of plain ASCII is written in one step.
      size_t end = i + 1;
      while (end < text.size() && plain(text[end])) ++end;
      const size_t at = out.size();
      out.resize(at + (end - i));
      char* to = out.data() + at;
      for (size_t k = i; k < end; ++k) *to++ = static_cast<char>(text[k]);
      i = end - 1;
    } else if (c < 0x80) {
      AppendEscaped(c, out);
    } else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(0x10000 + ((char32_t{c} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00), out);
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      AppendUtf8(kReplacement, out);
    } else {
      AppendUtf8(c, out);
    }
  }
  out.push_back('"');
}

}  // namespace quorvel::host
