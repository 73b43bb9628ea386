#include "control/registration/com_abi.h"

#include <cstdio>

namespace quorvel::registration::abi {

std::string GuidText(const Guid& guid) {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.data1,
                guid.data2, guid.data3, guid.data4[0], guid.data4[1], guid.data4[2], guid.data4[3],
                guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
  return text;
}

std::optional<Guid> ParseGuid(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
    text = text.substr(1, 36);
  }
  if (text.size() != 36) return std::nullopt;
  uint8_t bytes[16];
  size_t next = 0;
  for (size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i++] != '-') return std::nullopt;
      continue;
    }
    int value = 0;
    for (int k = 0; k < 2; ++k, ++i) {
      const char c = text[i];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return std::nullopt;
      value = value * 16 + digit;
    }
    bytes[next++] = static_cast<uint8_t>(value);
  }
  Guid guid{};
  guid.data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
               bytes[3];
  guid.data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  guid.data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int k = 0; k < 8; ++k) guid.data4[k] = bytes[8 + k];
  return guid;
}

}  // namespace quorvel::registration::abi
