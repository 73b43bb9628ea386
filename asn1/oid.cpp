// OBJECT IDENTIFIER contents.
#include <climits>

#include "asn1/internal.h"

namespace asn1_internal {

int EncodeOid(const int* arcs, int count, unsigned char* out) {
  if (arcs == nullptr || count < 2 || count > ASN1_MAX_OID_ARCS) return -1;
  for (int i = 0; i < count; ++i) {
    if (arcs[i] < 0) return -1;
  }
  // The first two arcs share one octet, so the second is limited to 0..39.
  if (arcs[0] > 2 || arcs[1] > 39) return -1;
  int size = 0;
  out[size++] = static_cast<unsigned char>(40 * arcs[0] + arcs[1]);
  for (int i = 2; i < count; ++i) {
    auto value = static_cast<std::uint32_t>(arcs[i]);
    unsigned char digits[5];
    int n = 0;
    do {
      digits[n++] = static_cast<unsigned char>(value & 0x7Fu);
      value >>= 7;
    } while (value != 0);
    while (n > 0) {
      --n;
      out[size++] = static_cast<unsigned char>(digits[n] | (n > 0 ? 0x80u : 0x00u));
    }
  }
  return size;
}

bool DecodeOid(const unsigned char* content, int length, int* arcs, int* count) {
  if (length < 1) return false;
  // The first octet holds 40 * first + second; a first arc above 2 (which
  // includes every first octet with its high bit set) is not accepted.
  if (content[0] / 40 > 2) return false;
  arcs[0] = content[0] / 40;
  arcs[1] = content[0] % 40;
  int n = 2;
  int index = 1;
  while (index < length) {
    if (n == ASN1_MAX_OID_ARCS) return false;
    int value = 0;
    for (;;) {
      if (index == length) return false;  // the content ends inside an arc
      const unsigned char octet = content[index++];
      if (value > (INT_MAX >> 7)) return false;  // arc beyond 31 bits
      value = (value << 7) | (octet & 0x7F);
      if ((octet & 0x80u) == 0) break;
    }
    arcs[n++] = value;
  }
  *count = n;
  return true;
}

}  // namespace asn1_internal
