// The eight-digit length fields of the formatted plain text, shared by its
// encoder and its index.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "container/plain_text.h"

namespace quorvel::container::fields {

inline constexpr std::string_view kZeroField = "00000000";
inline constexpr auto kField = static_cast<int64_t>(kLengthFieldSize);

inline void Append(std::string& text, int64_t value) {
  char digits[kLengthFieldSize];
  for (size_t i = kLengthFieldSize; i-- > 0;) {
    digits[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  text.append(digits, kLengthFieldSize);
}

// The value of the field at `offset` of `text`; a field that is not all digits
// reads as 0. Nothing when the field would extend past the end.
inline std::optional<int64_t> Read(std::string_view text, int64_t offset) {
  if (offset < 0 || offset + kField > static_cast<int64_t>(text.size())) return std::nullopt;
  int64_t value = 0;
  for (const char c : text.substr(static_cast<size_t>(offset), kLengthFieldSize)) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace quorvel::container::fields
