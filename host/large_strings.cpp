#include "host/large_strings.h"

#include <unicode/ustring.h>

#include <algorithm>
#include <charconv>
#include <climits>

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

// Loops without branches, which the compiler turns into vector code.
bool HasControlCharacter(std::string_view text) {
  unsigned char found = 0;
  for (const char c : text)
    found |= static_cast<unsigned char>(static_cast<unsigned char>(c) < 0x20);
  return found != 0;
}

bool IsAscii(std::string_view text) {
  unsigned char bits = 0;
  for (const char c : text) bits |= static_cast<unsigned char>(c);
  return bits < 0x80;
}

// Walks a string's body as the JSON grammar reads it: each run of
// characters that need no escape goes to `run` (as UTF-8), each escape's
// UTF-16 units to `escaped`. False when the body is not valid: a control
// character, a bad escape or an unpaired surrogate escape. `run` checks its
// UTF-8 and returns false when it is ill-formed.
template <typename Run, typename Escaped>
bool Walk(std::string_view body, Run&& run, Escaped&& escaped) {
  size_t i = 0;
  while (i < body.size()) {
    const size_t end = std::min(body.find('\\', i), body.size());
    const std::string_view chunk = body.substr(i, end - i);
    if (HasControlCharacter(chunk)) return false;
    if (!chunk.empty() && !run(chunk)) return false;
    i = end;
    if (i == body.size()) break;
    if (body[i] != '\\' || i + 1 >= body.size()) return false;
    const char escape = body[i + 1];
    static constexpr std::string_view kFrom = "\"\\/bfnrt";
    static constexpr std::u16string_view kTo = u"\"\\/\b\f\n\r\t";
    if (const size_t k = kFrom.find(escape); k != std::string_view::npos) {
      escaped(kTo[k]);
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
      escaped(static_cast<char16_t>(unit));
      escaped(static_cast<char16_t>(low));
      i += 12;
    } else {
      escaped(static_cast<char16_t>(unit));
      i += 6;
    }
  }
  return true;
}

// The UTF-16 units of strictly well-formed UTF-8; -1 when it is ill-formed.
int32_t Utf16Units(std::string_view utf8) {
  if (IsAscii(utf8)) return static_cast<int32_t>(utf8.size());
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8(nullptr, 0, &length, utf8.data(), static_cast<int32_t>(utf8.size()), &status);
  return status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status) ? length : -1;
}

// Decodes UTF-8 that Utf16Units has already found well formed, without
// checking it again; still bounded by both buffers, it stops with -1 at
// anything it does not expect rather than trust its input.
int32_t FromCheckedUtf8(std::string_view utf8, char16_t* out, int32_t room) {
  if (IsAscii(utf8)) {
    if (utf8.size() > static_cast<size_t>(room)) return -1;
    std::copy(utf8.begin(), utf8.end(), out);
    return static_cast<int32_t>(utf8.size());
  }
  const auto* in = reinterpret_cast<const uint8_t*>(utf8.data());
  const size_t size = utf8.size();
  const auto end = static_cast<size_t>(room);
  size_t at = 0;
  for (size_t i = 0; i < size;) {
    const uint32_t lead = in[i];
    if (lead < 0x80) {
      if (at == end) return -1;
      out[at++] = static_cast<char16_t>(lead);
      ++i;
    } else if (lead >= 0xE0 && lead < 0xF0 && size - i >= 3) {
      if (at == end) return -1;
      out[at++] = static_cast<char16_t>((lead & 0x0F) << 12 | (in[i + 1] & 0x3Fu) << 6 |
                                        (in[i + 2] & 0x3Fu));
      i += 3;
    } else if (lead >= 0xC0 && lead < 0xE0 && size - i >= 2) {
      if (at == end) return -1;
      out[at++] = static_cast<char16_t>((lead & 0x1F) << 6 | (in[i + 1] & 0x3Fu));
      i += 2;
    } else if (lead >= 0xF0 && lead < 0xF5 && size - i >= 4) {
      if (end - at < 2) return -1;
      const uint32_t c = (lead & 0x07) << 18 | (in[i + 1] & 0x3Fu) << 12 |
                         (in[i + 2] & 0x3Fu) << 6 | (in[i + 3] & 0x3Fu);
      if (c < 0x10000 || c > 0x10FFFF) return -1;
      out[at++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out[at++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      i += 4;
    } else {
      return -1;
    }
  }
  return static_cast<int32_t>(at);
}

// The quote that ends the string whose body starts at `from`: the first
// one not escaped, that is, after an even number of backslashes.
size_t ClosingQuote(std::string_view message, size_t from) {
  for (size_t quote = message.find('"', from); quote != std::string_view::npos;
       quote = message.find('"', quote + 1)) {
    size_t backslashes = 0;
    while (quote - backslashes > from && message[quote - backslashes - 1] == '\\') ++backslashes;
    if (backslashes % 2 == 0) return quote;
  }
  return std::string_view::npos;
}

}  // namespace

bool LargeStrings::Extract(std::string&& message) {
  Clear();
  owned_ = std::move(message);
  const std::string_view view = owned_;
  return Scan(view);
}

bool LargeStrings::Extract(std::string_view message) {
  Clear();
  return Scan(message);
}

bool LargeStrings::Scan(std::string_view message) {
  message_ = message;
  size_t copied = 0;
  size_t i = 0;
  while ((i = message.find('"', i)) != std::string_view::npos) {
    size_t end = ClosingQuote(message, i + 1);
    if (end == std::string_view::npos) break;  // unterminated: the parser says so
    const std::string_view body = message.substr(i + 1, end - i - 1);
    if (body.size() >= kMinBytes) {
      // A message is at most a few times 64 MiB: its runs fit ICU's lengths.
      if (body.size() > INT32_MAX) return false;
      size_t units = 0;
      const bool valid = Walk(
          body,
          [&](std::string_view run) {
            const int32_t counted = Utf16Units(run);
            units += static_cast<size_t>(counted);
            return counted >= 0;
          },
          [&](char16_t) { ++units; });
      if (!valid) return false;
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

bool LargeStrings::DecodeArgument(size_t index, std::span<char16_t> out) {
  if (!Decode(index, out)) return false;
  if (taken_[index].decoded) return true;
  taken_[index].decoded = true;
  if (++decoded_ == taken_.size() && !owned_.empty()) {
    released_ = true;
    std::string().swap(owned_);
  }
  return true;
}

std::optional<std::u16string> LargeStrings::Decoded(size_t index) const {
  if (index >= taken_.size()) return std::nullopt;
  std::u16string units(taken_[index].units, u'\0');
  if (!Decode(index, units)) return std::nullopt;
  return units;
}

bool LargeStrings::Decode(size_t index, std::span<char16_t> out) const {
  if (released_ || index >= taken_.size()) return false;
  size_t at = 0;
  return Walk(
             taken_[index].body,
             [&](std::string_view run) {
               const auto room = static_cast<int32_t>(std::min<size_t>(out.size() - at, INT32_MAX));
               const int32_t written = room == 0 ? -1 : FromCheckedUtf8(run, out.data() + at, room);
               if (written > 0) at += static_cast<size_t>(written);
               return written >= 0;
             },
             [&](char16_t unit) {
               if (at < out.size()) out[at++] = unit;
             }) &&
         at == out.size();
}

void LargeStrings::Clear() {
  std::string().swap(owned_);
  released_ = false;
  decoded_ = 0;
  message_ = {};
  text_.clear();
  text_.shrink_to_fit();
  taken_.clear();
}

}  // namespace quorvel::host
