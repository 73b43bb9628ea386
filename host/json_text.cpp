#include "host/json_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

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

// A block of units held and compared as two vectors of the size every
// x86-64 and i686 SSE2 unit has, as signed numbers (the instructions compare
// those): units from U+8000 up are negative. Vectors stay inside these
// functions; passing them by value would depend on the instruction set.
constexpr size_t kBlock = 16;
constexpr size_t kLanes = 8;
using Units = int16_t __attribute__((vector_size(2 * kLanes)));
using Narrowed = uint8_t __attribute__((vector_size(kLanes)));

struct Block {
  Units low;
  Units high;
};

Block Load(const char16_t* block) {
  Block units;
  std::memcpy(&units.low, block, sizeof units.low);
  std::memcpy(&units.high, block + kLanes, sizeof units.high);
  return units;
}

bool Any(Units masks) {
  uint64_t words[2];
  std::memcpy(words, &masks, sizeof masks);
  return (words[0] | words[1]) != 0;
}

// Printable ASCII other than the quote and the backslash.
Units NotPlain(Units units) {
  const int16_t space = 0x20;
  const int16_t del = 0x7F;
  const int16_t quote = '"';
  const int16_t backslash = '\\';
  return (units < space) | (units > del) | (units == quote) | (units == backslash);
}

// Below U+0800 or a surrogate.
Units NotThreeBytes(Units units) {
  const int16_t zero = 0;
  const int16_t threeBytes = 0x800;
  const int16_t firstSurrogate = -0x2800;   // U+D800
  const int16_t afterSurrogates = -0x2000;  // U+E000
  return ((units >= zero) & (units < threeBytes)) |
         ((units >= firstSurrogate) & (units < afterSurrogates));
}

bool AllPlain(const Block& units) {
  return !Any(NotPlain(units.low) | NotPlain(units.high));
}

bool AllThreeBytes(const Block& units) {
  return !Any(NotThreeBytes(units.low) | NotThreeBytes(units.high));
}

void WritePlain(const Block& units, char* to) {
  const Narrowed low = __builtin_convertvector(units.low, Narrowed);
  const Narrowed high = __builtin_convertvector(units.high, Narrowed);
  std::memcpy(to, &low, sizeof low);
  std::memcpy(to + kLanes, &high, sizeof high);
}

// The bytes `text` takes, each surrogate counted as the three of U+FFFD.
size_t MeasureUnits(std::u16string_view text, bool& surrogates) {
  size_t length = text.size();
  unsigned seen = 0;
  for (const char16_t c : text) {
    const uint32_t u = c;
    const uint32_t shortEscape = (u == 8) | (u == 9) | (u == 10) | (u == 12) | (u == 13);
    length +=
        (u >= 0x80) + (u >= 0x800) + (u == '"') + (u == '\\') + (u < 0x20) * 5 - shortEscape * 4;
    seen |= (u - 0xD800) < 0x800;
  }
  surrogates = surrogates || seen != 0;
  return length;
}

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

void AppendJsonString(std::u16string_view text, std::string& out) {
  // Measured first, so that the answer is written into its final place once.
  size_t length = 2;
  bool surrogates = false;
  size_t measured = 0;
  for (; text.size() - measured >= kBlock; measured += kBlock) {
    const Block units = Load(text.data() + measured);
    if (AllPlain(units)) {
      length += kBlock;
    } else if (AllThreeBytes(units)) {
      length += 3 * kBlock;
    } else {
      length += MeasureUnits(text.substr(measured, kBlock), surrogates);
    }
  }
  length += MeasureUnits(text.substr(measured), surrogates);
  // Each surrogate was counted as the three bytes of U+FFFD, which a lone
  // one becomes; a pair is one character of four bytes.
  if (surrogates) {
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
  size_t i = 0;
  while (i < text.size()) {
    // Whole blocks of plain ASCII, or of characters of three UTF-8 bytes
    // (most of the scripts that are not Latin), are written without looking
    // at each unit on its own; anything else, a block's worth at a time.
    if (text.size() - i >= kBlock) {
      const char16_t* block = text.data() + i;
      const Block units = Load(block);
      if (AllPlain(units)) {
        WritePlain(units, to);
        to += kBlock;
        i += kBlock;
        continue;
      }
      if (AllThreeBytes(units)) {
        for (size_t k = 0; k < kBlock; ++k) {
          const uint32_t c = block[k];
          to[3 * k] = static_cast<char>(0xE0 | (c >> 12));
          to[3 * k + 1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
          to[3 * k + 2] = static_cast<char>(0x80 | (c & 0x3F));
        }
        to += 3 * kBlock;
        i += kBlock;
        continue;
      }
    }
    for (const size_t end = std::min(text.size(), i + kBlock); i < end; ++i) {
      const char16_t c = text[i];
      if (c >= 0x20 && c < 0x80 && c != u'"' && c != u'\\') {
        *to++ = static_cast<char>(c);
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
  }
  *to = '"';
}

}  // namespace quorvel::host
