// Identifier and length octets of DER elements.
#include "asn1/internal.h"

namespace asn1_internal {

namespace {

// Base-128 digits of a non-negative value, most significant first, with the
// high bit set on every octet but the last.
int EncodeBase128(std::uint32_t value, unsigned char* out) {
  unsigned char digits[5];
  int count = 0;
  do {
    digits[count++] = static_cast<unsigned char>(value & 0x7Fu);
    value >>= 7;
  } while (value != 0);
  for (int i = 0; i < count; ++i) {
    unsigned char octet = digits[count - 1 - i];
    if (i != count - 1) octet = static_cast<unsigned char>(octet | 0x80u);
    out[i] = octet;
  }
  return count;
}

}  // namespace

int IdentifierSize(int tag) {
  if (tag <= 30) return 1;
  unsigned char scratch[kMaxIdentifierOctets];
  return 1 + EncodeBase128(static_cast<std::uint32_t>(tag), scratch);
}

int EncodeIdentifier(unsigned char class_bits, int tag, unsigned char* out) {
  const auto high = static_cast<unsigned char>(class_bits & 0xE0u);
  if (tag <= 30) {
    out[0] = static_cast<unsigned char>(high | static_cast<unsigned>(tag));
    return 1;
  }
  out[0] = static_cast<unsigned char>(high | 0x1Fu);
  return 1 + EncodeBase128(static_cast<std::uint32_t>(tag), out + 1);
}

int EncodeLength(int length, unsigned char* out) {
  if (length < 128) {
    out[0] = static_cast<unsigned char>(length);
    return 1;
  }
  const auto value = static_cast<std::uint32_t>(length);
  int octets = 1;
  while (octets < 4 && (value >> (8 * octets)) != 0) ++octets;
  out[0] = static_cast<unsigned char>(0x80 + octets);
  for (int i = 0; i < octets; ++i) {
    out[1 + i] = static_cast<unsigned char>(value >> (8 * (octets - 1 - i)));
  }
  return 1 + octets;
}

}  // namespace asn1_internal
