// asn1_encode: walks an encoding template and writes DER.
#include <climits>
#include <cstdarg>
#include <cstring>

#include "asn1/internal.h"

using namespace asn1_internal;

namespace {

// Universal tag numbers used by the directives.
constexpr int kTagBoolean = 1;
constexpr int kTagInteger = 2;
constexpr int kTagBitString = 3;
constexpr int kTagOctetString = 4;
constexpr int kTagNull = 5;
constexpr int kTagOid = 6;
constexpr int kTagEnumerated = 10;
constexpr int kTagSequence = 16;
constexpr int kTagSet = 17;
constexpr int kTagPrintableString = 19;
constexpr int kTagT61String = 20;
constexpr int kTagIa5String = 22;
constexpr int kTagUtcTime = 23;
constexpr int kTagGeneralizedTime = 24;
constexpr int kTagUniversalString = 28;
constexpr int kTagBmpString = 30;

// Default tag of a directive that writes one primitive element from a byte
// string argument, or -1 when the directive is not one of those.
int ByteStringTag(char directive) {
  switch (directive) {
    case 'o':
      return kTagOctetString;
    case 'P':
      return kTagPrintableString;
    case 'a':
      return kTagIa5String;
    case 'M':
    case '6':
      return kTagT61String;
    case 'U':
      return kTagUniversalString;
    case 'm':
      return kTagBmpString;
    default:
      return -1;
  }
}

// Writes one primitive element; returns its size or -1.
int PutElement(Asn1Writer* writer, unsigned char class_bits, int tag, const unsigned char* content,
               int length) {
  if (length < 0 || (content == nullptr && length > 0)) return -1;
  int written = 0;
  unsigned char* at = WriterAppendElement(writer, class_bits, tag, length, &written);
  if (at == nullptr) return -1;
  if (length > 0) std::memcpy(at, content, static_cast<std::size_t>(length));
  return written;
}

// BIT STRING of bit_count bits: unused-bit octet, then the bytes with the
// unused low bits of the last one cleared.
int PutBitString(Asn1Writer* writer, unsigned char class_bits, int tag, const unsigned char* bytes,
                 int bit_count) {
  if (bit_count < 0 || (bytes == nullptr && bit_count > 0)) return -1;
  const int byte_count = static_cast<int>((static_cast<long long>(bit_count) + 7) / 8);
  if (byte_count >= INT_MAX) return -1;
  const int unused = byte_count * 8 - bit_count;
  int written = 0;
  unsigned char* at = WriterAppendElement(writer, class_bits, tag, byte_count + 1, &written);
  if (at == nullptr) return -1;
  at[0] = static_cast<unsigned char>(unused);
  if (byte_count > 0) {
    std::memcpy(at + 1, bytes, static_cast<std::size_t>(byte_count));
    at[byte_count] = static_cast<unsigned char>(at[byte_count] & (0xFFu << unused));
  }
  return written;
}

int EncodeTemplate(Asn1Writer* writer, const char* tmpl, va_list args) {
  long long added = 0;
  // Class and constructed bits from a T; they never carry over to the next call.
  unsigned char class_byte = 0;
  for (const char* p = tmpl; *p != '\0'; ++p) {
    const char directive = *p;
    if (directive == 't' || directive == 'T') {
      const int tag = va_arg(args, int);
      const int cls = directive == 'T' ? va_arg(args, int) : 0;
      if (tag < 0) return -1;
      writer->pending_tag = tag;
      writer->override_pending = 1;
      class_byte = static_cast<unsigned char>(static_cast<unsigned>(cls) & 0xE0u);
      continue;
    }
    // Take the override for this directive, then clear it: it affects only
    // the one directive that follows it.
    const int pending = writer->override_pending != 0 ? writer->pending_tag : -1;
    const unsigned char cls = class_byte;
    writer->override_pending = 0;
    writer->pending_tag = -1;
    class_byte = 0;
    auto tag_or = [pending](int default_tag) { return pending >= 0 ? pending : default_tag; };

    int result = -1;
    switch (directive) {
      case '{':
      case '[':
        result = WriterBegin(writer, tag_or(directive == '{' ? kTagSequence : kTagSet), cls, false)
                     ? 0
                     : -1;
        break;
      case '(': {
        const int tag = va_arg(args, int);
        result = WriterBegin(writer, tag, cls, true) ? 0 : -1;
        break;
      }
      case '}':
      case ']':
      case ')':
        result = WriterClose(writer, directive == ')');
        break;
      case 'i':
      case 'e': {
        const int value = va_arg(args, int);
        unsigned char content[4];
        const int length = EncodeIntegerContent(value, content);
        result = PutElement(writer, cls, tag_or(directive == 'i' ? kTagInteger : kTagEnumerated),
                            content, length);
        break;
      }
      case 'b': {
        const unsigned char content = va_arg(args, int) != 0 ? 0xFF : 0x00;
        result = PutElement(writer, cls, tag_or(kTagBoolean), &content, 1);
        break;
      }
      case 'n':
        result = PutElement(writer, cls, tag_or(kTagNull), nullptr, 0);
        break;
      case 'o':
      case 'P':
      case 'a':
      case 'M':
      case '6':
      case 'U':
      case 'm': {
        const auto* bytes = va_arg(args, const unsigned char*);
        const int length = va_arg(args, int);
        result = PutElement(writer, cls, tag_or(ByteStringTag(directive)), bytes, length);
        break;
      }
      case 'u':
      case 'g': {
        const char* text = va_arg(args, const char*);
        if (text == nullptr) return -1;
        const std::size_t length = std::strlen(text);
        if (length > INT_MAX) return -1;
        result =
            PutElement(writer, cls, tag_or(directive == 'u' ? kTagUtcTime : kTagGeneralizedTime),
                       reinterpret_cast<const unsigned char*>(text), static_cast<int>(length));
        break;
      }
      case 'B': {
        const auto* bytes = va_arg(args, const unsigned char*);
        const int bit_count = va_arg(args, int);
        result = PutBitString(writer, cls, tag_or(kTagBitString), bytes, bit_count);
        break;
      }
      case 'I': {
        const char* digits = va_arg(args, const char*);
        const int count = va_arg(args, int);
        // The count must be the text's own length; look no further than one
        // character past it.
        if (digits == nullptr || count < 0 || count > ASN1_MAX_HEX_DIGITS ||
            strnlen(digits, static_cast<std::size_t>(count) + 1) !=
                static_cast<std::size_t>(count)) {
          return -1;
        }
        unsigned char content[ASN1_MAX_HEX_DIGITS / 2];
        const int length = HexToOctets(digits, count, content);
        if (length < 0) return -1;
        result = PutElement(writer, cls, tag_or(kTagInteger), content, length);
        break;
      }
      case 'O': {
        const int* arcs = va_arg(args, const int*);
        const int count = va_arg(args, int);
        unsigned char content[kMaxOidContent];
        const int length = EncodeOid(arcs, count, content);
        if (length < 0) return -1;
        result = PutElement(writer, cls, tag_or(kTagOid), content, length);
        break;
      }
      case 'A': {
        const auto* bytes = va_arg(args, const unsigned char*);
        const int length = va_arg(args, int);
        result = WriterAppendRaw(writer, bytes, length) ? length : -1;
        break;
      }
      default:
        return -1;
    }
    if (result < 0) return -1;
    added += result;
  }
  return added > INT_MAX ? -1 : static_cast<int>(added);
}

}  // namespace

int asn1_encode(Asn1Writer* writer, const char* tmpl, ...) {
  if (writer == nullptr || tmpl == nullptr) return -1;
  va_list args;
  va_start(args, tmpl);
  const int result = EncodeTemplate(writer, tmpl, args);
  va_end(args);
  return result;
}
