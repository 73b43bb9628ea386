#include "platform/crypto/der_writer.h"

#include <cstddef>

namespace quorvel::platform::der {

Bytes Encode(uint8_t tag, std::initializer_list<std::span<const uint8_t>> parts) {
  uint64_t length = 0;
  for (const std::span<const uint8_t> part : parts) length += part.size();
  if (length > UINT32_MAX) return {};
  uint8_t header[6] = {tag};
  size_t used = 1;
  if (length < 0x80) {
    header[used++] = static_cast<uint8_t>(length);
  } else {
    int octets = 1;
    while (octets < 4 && (length >> (8 * octets)) != 0) ++octets;
    header[used++] = static_cast<uint8_t>(0x80 | octets);
    for (int i = octets - 1; i >= 0; --i) header[used++] = static_cast<uint8_t>(length >> (8 * i));
  }
  Bytes out;
  out.reserve(used + static_cast<size_t>(length));
  out.insert(out.end(), header, header + used);
  for (const std::span<const uint8_t> part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

}  // namespace quorvel::platform::der
