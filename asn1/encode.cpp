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

// The tag number and class bits a directive writes with: those of a t or T
// just before it, else its own.
struct Tagging {
  int pending = -1;  // the tag number of a t or T; -1 when none
  unsigned char class_bits = 0;
  int Or(int own) const { return pending >= 0 ? pending : own; }
};

// Each directive takes its arguments and returns the bytes it added, or -1.
using Directive = int (*)(Asn1Writer*, const Tagging&, char, va_list*);

int Begin(Asn1Writer* writer, const Tagging& tagging, char letter, va_list*) {
  const int tag = tagging.Or(letter == '{' ? kTagSequence : kTagSet);
  return WriterBegin(writer, tag, tagging.class_bits, false) ? 0 : -1;
}

// `(` takes its tag number from its argument, never from a t.
int BeginContext(Asn1Writer* writer, const Tagging& tagging, char, va_list* args) {
  const int tag = va_arg(*args, int);
  return WriterBegin(writer, tag, tagging.class_bits, true) ? 0 : -1;
}

int Close(Asn1Writer* writer, const Tagging&, char letter, va_list*) {
  return WriterClose(writer, letter == ')');
}

int Integer(Asn1Writer* writer, const Tagging& tagging, char letter, va_list* args) {
  const int value = va_arg(*args, int);
  unsigned char content[4];
  const int length = EncodeIntegerContent(value, content);
  return PutElement(writer, tagging.class_bits,
                    tagging.Or(letter == 'i' ? kTagInteger : kTagEnumerated), content, length);
}

int Boolean(Asn1Writer* writer, const Tagging& tagging, char, va_list* args) {
  const unsigned char content = va_arg(*args, int) != 0 ? 0xFF : 0x00;
  return PutElement(writer, tagging.class_bits, tagging.Or(kTagBoolean), &content, 1);
}

int Null(Asn1Writer* writer, const Tagging& tagging, char, va_list*) {
  return PutElement(writer, tagging.class_bits, tagging.Or(kTagNull), nullptr, 0);
}

int ByteString(Asn1Writer* writer, const Tagging& tagging, char letter, va_list* args) {
  const auto* bytes = va_arg(*args, const unsigned char*);
  const int length = va_arg(*args, int);
  return PutElement(writer, tagging.class_bits, tagging.Or(ByteStringTag(letter)), bytes, length);
}

int Time(Asn1Writer* writer, const Tagging& tagging, char letter, va_list* args) {
  const char* text = va_arg(*args, const char*);
  if (text == nullptr) return -1;
  const std::size_t length = std::strlen(text);
  if (length > INT_MAX) return -1;
  return PutElement(writer, tagging.class_bits,
                    tagging.Or(letter == 'u' ? kTagUtcTime : kTagGeneralizedTime),
                    reinterpret_cast<const unsigned char*>(text), static_cast<int>(length));
}

int BitString(Asn1Writer* writer, const Tagging& tagging, char, va_list* args) {
  const auto* bytes = va_arg(*args, const unsigned char*);
  const int bit_count = va_arg(*args, int);
  return PutBitString(writer, tagging.class_bits, tagging.Or(kTagBitString), bytes, bit_count);
}

int HexInteger(Asn1Writer* writer, const Tagging& tagging, char, va_list* args) {
  const char* digits = va_arg(*args, const char*);
  const int count = va_arg(*args, int);
  // The count must be the text's own length; look no further than one
  // character past it.
  if (digits == nullptr || count < 0 || count > ASN1_MAX_HEX_DIGITS ||
      strnlen(digits, static_cast<std::size_t>(count) + 1) != static_cast<std::size_t>(count)) {
    return -1;
  }
  unsigned char content[ASN1_MAX_HEX_DIGITS / 2];
  const int length = HexToOctets(digits, count, content);
  if (length < 0) return -1;
  return PutElement(writer, tagging.class_bits, tagging.Or(kTagInteger), content, length);
}

int ObjectIdentifier(Asn1Writer* writer, const Tagging& tagging, char, va_list* args) {
  const int* arcs = va_arg(*args, const int*);
  const int count = va_arg(*args, int);
  unsigned char content[kMaxOidContent];
  const int length = EncodeOid(arcs, count, content);
  if (length < 0) return -1;
  return PutElement(writer, tagging.class_bits, tagging.Or(kTagOid), content, length);
}

int Raw(Asn1Writer* writer, const Tagging&, char, va_list* args) {
  const auto* bytes = va_arg(*args, const unsigned char*);
  const int length = va_arg(*args, int);
  return WriterAppendRaw(writer, bytes, length) ? length : -1;
}

Directive DirectiveFor(char letter) {
  switch (letter) {
    case '{':
    case '[':
      return Begin;
    case '(':
      return BeginContext;
    case '}':
    case ']':
    case ')':
      return Close;
    case 'i':
    case 'e':
      return Integer;
    case 'b':
      return Boolean;
    case 'n':
      return Null;
    case 'u':
    case 'g':
      return Time;
    case 'B':
      return BitString;
    case 'I':
      return HexInteger;
    case 'O':
      return ObjectIdentifier;
    case 'A':
      return Raw;
    default:
      return ByteStringTag(letter) >= 0 ? ByteString : nullptr;
  }
}

int EncodeTemplate(Asn1Writer* writer, const char* tmpl, va_list* args) {
  long long added = 0;
  // Class and constructed bits from a T; they never carry over to the next call.
  unsigned char class_bits = 0;
  for (const char* p = tmpl; *p != '\0'; ++p) {
    if (*p == 't' || *p == 'T') {
      const int tag = va_arg(*args, int);
      const int cls = *p == 'T' ? va_arg(*args, int) : 0;
      if (tag < 0) return -1;
      writer->pending_tag = tag;
      writer->override_pending = 1;
      class_bits = static_cast<unsigned char>(static_cast<unsigned>(cls) & 0xE0u);
      continue;
    }
    const Directive directive = DirectiveFor(*p);
    if (directive == nullptr) return -1;
    // The override is this directive's alone: taken, then cleared.
    const Tagging tagging{writer->override_pending != 0 ? writer->pending_tag : -1, class_bits};
    writer->override_pending = 0;
    writer->pending_tag = -1;
    class_bits = 0;
    const int result = directive(writer, tagging, *p, args);
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
  const int result = EncodeTemplate(writer, tmpl, &args);
  va_end(args);
  return result;
}
