// The module's own length-prefixed strings, laid out as the platform's are.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "control/registration/com_abi.h"

namespace quorvel::registration::abi {

Bstr AllocString(const char16_t* text, uint32_t length) {
  if (length > (std::numeric_limits<uint32_t>::max() - 8) / 2) return nullptr;
  const size_t bytes = size_t{length} * 2;
  auto* block = static_cast<unsigned char*>(std::malloc(4 + bytes + 2));
  if (block == nullptr) return nullptr;
  const auto byteLength = static_cast<uint32_t>(bytes);
  std::memcpy(block, &byteLength, 4);
  auto* units = reinterpret_cast<char16_t*>(block + 4);
  if (text != nullptr) {
    std::memcpy(units, text, bytes);
  } else {
    std::memset(units, 0, bytes);
  }
  units[length] = 0;
  return units;
}

void FreeString(Bstr text) {
  if (text != nullptr) std::free(reinterpret_cast<unsigned char*>(text) - 4);
}

uint32_t StringLength(const char16_t* text) {
  if (text == nullptr) return 0;
  uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(text) - 4, 4);
  return bytes / 2;
}

std::u16string StringOf(const char16_t* text) {
  return text == nullptr ? std::u16string() : std::u16string(text, StringLength(text));
}

}  // namespace quorvel::registration::abi
