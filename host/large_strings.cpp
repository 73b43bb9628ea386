#include "host/large_strings.h"

#include <charconv>

namespace quorvel::host {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the four hex digits of a \u escape at `at`; -1 when they are not.
long HexUnit(std::string_view body, size_t at) {
  if (at + 4 > body.size()) return -1;
  long unit = 0;
  for (size_t k = 0; k < 4; ++k) {
    const int digit = HexValue(body[at + k]);
    if (digit < 0) return -1;
    unit = unit * 16 + digit;
  }
  return unit;
}

bool IsHigh(long unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLow(long unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The length of the UTF-8 sequence at `at` when it is well formed (shortest
// form, no surrogates, at most U+10FFFF), else 0.
size_t Utf8Sequence(std::string_view body, size_t at, char32_t& c) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(body[at + k]); };
  const unsigned char lead = byte(0);
  size_t length = 0;
  if (lead < 0x80) {
    c = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    c = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > body.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(k) & 0x3F);
  }
  if ((length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
      (length == 4 && (c < 0x10000 || c > 0x10FFFF))) {
    return 0;
  }
  return length;
}

// Walks a string's body as the JSON grammar reads it, giving each UTF-16 unit
// to `emit`. False when the body is not valid: a control character, a bad
// escape, an unpaired surrogate escape or ill-formed UTF-8.
template <typename Emit>
bool Walk(std::string_view body, Emit&& emit) {
  size_t i = 0;
  while (i < body.size()) {
    const auto c = static_cast<unsigned char>(body[i]);
    if (c < 0x20) return false;
    if (c < 0x80 && c != '\\') {
      emit(static_cast<char16_t>(c));
      ++i;
      continue;
    }
    if (c == '\\') {
      if (i + 1 >= body.size()) return false;
      const char escape = body[i + 1];
      static constexpr std::string_view kFrom = "\"\\/bfnrt";
      static constexpr std::u16string_view kTo = u"\"\\/\b\f\n\r\t";
      if (const size_t k = kFrom.find(escape); k != std::string_view::npos) {
        emit(kTo[k]);
        i += 2;
        continue;
      }
      if (escape != 'u') return false;
      const long unit = HexUnit(body, i + 2);
      if (unit < 0 || IsLow(unit)) return false;
      if (IsHigh(unit)) {
        if (i + 7 >= body.size() || body[i + 6] != '\\' || body[i + 7] != 'u') return false;
        const long low = HexUnit(body, i + 8);
        if (!IsLow(low)) return false;
        emit(static_cast<char16_t>(unit));
        emit(static_cast<char16_t>(low));
        i += 12;
      } else {
        emit(static_cast<char16_t>(unit));
        i += 6;
      }
      continue;
    }
    char32_t code = 0;
    const size_t length = Utf8Sequence(body, i, code);
    if (length == 0) return false;
    if (code >= 0x10000) {
      emit(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      emit(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      emit(static_cast<char16_t>(code));
    }
    i += length;
  }
  return true;
}

}  // namespace

bool LargeStrings::Extract(std::string_view message) {
  Clear();
  message_ = message;
  size_t copied = 0;
  size_t i = 0;
  while (i < message.size()) {
    if (message[i] != '"') {
      ++i;
      continue;
    }
    size_t end = i + 1;
    while (end < message.size() && message[end] != '"') end += message[end] == '\\' ? 2 : 1;
    if (end >= message.size()) break;  // unterminated: the parser says so
    const std::string_view body = message.substr(i + 1, end - i - 1);
    if (body.size() >= kMinBytes) {
      size_t units = 0;
      if (!Walk(body, [&](char16_t) { ++units; })) return false;
      text_.append(message.substr(copied, i - copied));
      text_ += '"';
      text_ += nonce_;
      text_ += std::to_string(taken_.size());
      text_ += '"';
      taken_.push_back({body, units});
      copied = end + 1;
    }
    i = end + 1;
  }
  if (!taken_.empty()) text_.append(message.substr(copied));
  return true;
}

ptrdiff_t LargeStrings::Find(std::string_view value) const {
  if (taken_.empty() || !value.starts_with(nonce_)) return -1;
  const std::string_view digits = value.substr(nonce_.size());
  size_t index = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
  if (ec != std::errc() || end != digits.data() + digits.size() || index >= taken_.size())
    return -1;
  return static_cast<ptrdiff_t>(index);
}

void LargeStrings::Decode(size_t index, std::span<char16_t> out) const {
  size_t at = 0;
  Walk(taken_[index].body, [&](char16_t unit) {
    if (at < out.size()) out[at++] = unit;
  });
}

void LargeStrings::Clear() {
  message_ = {};
  text_.clear();
  text_.shrink_to_fit();
  taken_.clear();
}

}  // namespace quorvel::host
