// INTEGER contents: 32-bit values and hexadecimal digit texts.
#include "asn1/internal.h"

namespace asn1_internal {

int EncodeIntegerContent(std::int32_t value, unsigned char* out) {
  const auto bits = static_cast<std::uint32_t>(value);
  unsigned char octets[4];
  for (int i = 0; i < 4; ++i) octets[i] = static_cast<unsigned char>(bits >> (24 - 8 * i));
  // Drop leading octets that only repeat the sign of the octet after them.
  int first = 0;
  while (first < 3) {
    const bool redundant_zero = octets[first] == 0x00 && (octets[first + 1] & 0x80u) == 0;
    const bool redundant_ones = octets[first] == 0xFF && (octets[first + 1] & 0x80u) != 0;
    if (!redundant_zero && !redundant_ones) break;
    ++first;
  }
  const int count = 4 - first;
  for (int i = 0; i < count; ++i) out[i] = octets[first + i];
  return count;
}

bool DecodeIntegerContent(const unsigned char* content, int length, std::int32_t* value) {
  if (length < 0 || length > 4) return false;
  std::uint32_t bits = 0;
  if (length > 0 && (content[0] & 0x80u) != 0) bits = 0xFFFFFFFFu;
  for (int i = 0; i < length; ++i) bits = (bits << 8) | content[i];
  *value = static_cast<std::int32_t>(bits);
  return true;
}

namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

int HexToOctets(const char* digits, int count, unsigned char* out) {
  if (digits == nullptr || count < 1 || count > ASN1_MAX_HEX_DIGITS) return -1;
  // An odd count is read as if a leading 0 were present.
  int index = 0;
  int produced = 0;
  int high = (count % 2 != 0) ? 0 : -1;
  while (index < count) {
    int hi = high;
    if (hi < 0) {
      hi = HexDigitValue(digits[index++]);
      if (hi < 0) return -1;
    }
    high = -1;
    const int lo = HexDigitValue(digits[index++]);
    if (lo < 0) return -1;
    out[produced++] = static_cast<unsigned char>(hi * 16 + lo);
  }
  return produced;
}

void OctetsToHex(const unsigned char* octets, int count, char* out) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (int i = 0; i < count; ++i) {
    out[2 * i] = kDigits[octets[i] >> 4];
    out[2 * i + 1] = kDigits[octets[i] & 0x0Fu];
  }
  out[2 * count] = '\0';
}

}  // namespace asn1_internal
