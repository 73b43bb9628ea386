// Bytes as lower-case hexadecimal text, two digits a byte.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quorvel::platform {

inline std::string LowerHex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

inline std::string LowerHex(std::string_view bytes) {
  return LowerHex(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace quorvel::platform
