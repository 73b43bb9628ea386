// asn1_decode: walks a decoding template over the reader's input, one
// function per directive.
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "asn1/internal.h"

using namespace asn1_internal;

namespace {

// A new buffer holding length bytes and one zero byte after them.
unsigned char* CopyWithZero(const unsigned char* bytes, int length) {
  auto* copy = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(length) + 1));
  if (copy == nullptr) return nullptr;
  if (length > 0) std::memcpy(copy, bytes, static_cast<std::size_t>(length));
  copy[length] = 0;
  return copy;
}

// Reads the next element's header and hands its content to `use`, which
// stores its results and returns false when the content does not fit the
// directive; the element is then consumed. The status of the header read
// (-1, or -2 at the end) is returned as it is.
template <typename Use>
int TakeElement(Asn1Reader* reader, Use&& use) {
  ElementHeader header{};
  if (const int status = ReaderPeekHeader(reader, &header); status != 0) return status;
  if (!use(reader->buffer + header.content_start, header)) return -1;
  reader->position = header.content_start + header.content_length;
  return 0;
}

int Leave(Asn1Reader* reader, va_list*) {
  return ReaderLeave(reader) ? 0 : -1;
}

int Enter(Asn1Reader* reader, va_list*) {
  ElementHeader header{};
  if (const int status = ReaderPeekHeader(reader, &header); status != 0) return status;
  return ReaderEnter(reader, header) ? 0 : -1;
}

int Skip(Asn1Reader* reader, va_list*) {
  return TakeElement(reader, [](const unsigned char*, const ElementHeader&) { return true; });
}

int Integer(Asn1Reader* reader, va_list* args) {
  int* value = va_arg(*args, int*);
  if (value == nullptr) return -1;
  return TakeElement(reader, [&](const unsigned char* content, const ElementHeader& header) {
    std::int32_t decoded = 0;
    if (!DecodeIntegerContent(content, header.content_length, &decoded)) return false;
    *value = decoded;
    return true;
  });
}

int Boolean(Asn1Reader* reader, va_list* args) {
  unsigned char* value = va_arg(*args, unsigned char*);
  if (value == nullptr) return -1;
  return TakeElement(reader, [&](const unsigned char* content, const ElementHeader& header) {
    if (header.content_length != 1 || (content[0] != 0x00 && content[0] != 0xFF)) return false;
    *value = content[0];
    return true;
  });
}

int Null(Asn1Reader* reader, va_list*) {
  return TakeElement(reader, [](const unsigned char*, const ElementHeader& header) {
    return header.content_length == 0;
  });
}

int Bytes(Asn1Reader* reader, va_list* args) {
  unsigned char** bytes = va_arg(*args, unsigned char**);
  int* length = va_arg(*args, int*);
  if (bytes == nullptr || length == nullptr) return -1;
  return TakeElement(reader, [&](const unsigned char* content, const ElementHeader& header) {
    unsigned char* copy = CopyWithZero(content, header.content_length);
    if (copy == nullptr) return false;
    *bytes = copy;
    *length = header.content_length;
    return true;
  });
}

int Text(Asn1Reader* reader, va_list* args) {
  char** text = va_arg(*args, char**);
  if (text == nullptr) return -1;
  return TakeElement(reader, [&](const unsigned char* content, const ElementHeader& header) {
    unsigned char* copy = CopyWithZero(content, header.content_length);
    if (copy == nullptr) return false;
    *text = reinterpret_cast<char*>(copy);
    return true;
  });
}

int Time(Asn1Reader* reader, va_list* args) {
  char* text = va_arg(*args, char*);
  if (text == nullptr) return -1;
  return TakeElement(reader, [&](const unsigned char* content, const ElementHeader& header) {
    // The caller's buffer has ASN1_TIME_BUFFER_SIZE bytes, NUL included.
    if (header.content_length > ASN1_TIME_BUFFER_SIZE - 1) return false;
    std::memcpy(text, content, static_cast<std::size_t>(header.content_length));
    text[header.content_length] = '\0';
    return true;
  });
}

int BitString(Asn1Reader* reader, va_list* args) {
  unsigned char** bytes = va_arg(*args, unsigned char**);
  int* bit_count = va_arg(*args, int*);
  if (bytes == nullptr || bit_count == nullptr) return -1;
  return TakeElement(reader, [&](const unsigned char* content, const ElementHeader& header) {
    // The first octet counts the unused bits of the last one: 0 to 7, and
    // 0 when no octet follows.
    if (header.content_length < 1) return false;
    const int unused = content[0];
    const int data_length = header.content_length - 1;
    if (unused > 7 || (data_length == 0 && unused != 0)) return false;
    const long long bits = static_cast<long long>(data_length) * 8 - unused;
    if (bits > INT_MAX) return false;
    unsigned char* copy = CopyWithZero(content + 1, data_length);
    if (copy == nullptr) return false;
    if (data_length > 0) {
      copy[data_length - 1] = static_cast<unsigned char>(copy[data_length - 1] & (0xFFu << unused));
    }
    *bytes = copy;
    *bit_count = static_cast<int>(bits);
    return true;
  });
}

int HexInteger(Asn1Reader* reader, va_list* args) {
  char** digits = va_arg(*args, char**);
  int* count = va_arg(*args, int*);
  if (digits == nullptr || count == nullptr) return -1;
  return TakeElement(reader, [&](const unsigned char* content, const ElementHeader& header) {
    if (header.content_length > (INT_MAX - 1) / 2) return false;
    const int digit_count = header.content_length * 2;
    auto* text = static_cast<char*>(std::malloc(static_cast<std::size_t>(digit_count) + 1));
    if (text == nullptr) return false;
    OctetsToHex(content, header.content_length, text);
    *digits = text;
    *count = digit_count;
    return true;
  });
}

int ObjectIdentifier(Asn1Reader* reader, va_list* args) {
  int** arcs = va_arg(*args, int**);
  int* count = va_arg(*args, int*);
  if (arcs == nullptr || count == nullptr) return -1;
  return TakeElement(reader, [&](const unsigned char* content, const ElementHeader& header) {
    int decoded[ASN1_MAX_OID_ARCS];
    int decoded_count = 0;
    if (!DecodeOid(content, header.content_length, decoded, &decoded_count)) return false;
    auto* array = static_cast<int*>(std::calloc(ASN1_MAX_OID_ARCS, sizeof(int)));
    if (array == nullptr) return false;
    std::memcpy(array, decoded, sizeof(int) * static_cast<std::size_t>(decoded_count));
    *arcs = array;
    *count = decoded_count;
    return true;
  });
}

int WholeElement(Asn1Reader* reader, va_list* args) {
  unsigned char** bytes = va_arg(*args, unsigned char**);
  int* size = va_arg(*args, int*);
  if (bytes == nullptr || size == nullptr) return -1;
  return TakeElement(reader, [&](const unsigned char*, const ElementHeader& header) {
    // Header and content both lie inside the input, so their sum fits.
    const int total = header.content_start - header.start + header.content_length;
    unsigned char* copy = CopyWithZero(reader->buffer + header.start, total);
    if (copy == nullptr) return false;
    *bytes = copy;
    *size = total;
    return true;
  });
}

// Peeks at the next tag without consuming the element.
int PeekTag(Asn1Reader* reader, va_list* args) {
  int* tag = va_arg(*args, int*);
  unsigned char* class_bits = va_arg(*args, unsigned char*);
  if (tag == nullptr || class_bits == nullptr) return -1;
  ElementHeader header{};
  if (const int status = ReaderPeekHeader(reader, &header); status != 0) return status;
  *tag = header.tag;
  *class_bits = static_cast<unsigned char>(header.identifier & 0xE0u);
  return 0;
}

using Directive = int (*)(Asn1Reader*, va_list*);

Directive DirectiveFor(char letter) {
  switch (letter) {
    case '}':
    case ']':
    case ')':
      return Leave;
    case '{':
    case '[':
    case '(':
      return Enter;
    case 'i':
    case 'e':
      return Integer;
    case 'b':
      return Boolean;
    case 'n':
      return Null;
    case 'x':
      return Skip;
    case 'o':
    case '6':
      return Bytes;
    case 'a':
      return Text;
    case 'u':
    case 'g':
      return Time;
    case 'B':
      return BitString;
    case 'I':
      return HexInteger;
    case 'O':
      return ObjectIdentifier;
    case '$':
      return WholeElement;
    case 't':
      return PeekTag;
    default:
      return nullptr;
  }
}

int DecodeTemplate(Asn1Reader* reader, const char* tmpl, va_list* args) {
  for (const char* p = tmpl; *p != '\0'; ++p) {
    const Directive directive = DirectiveFor(*p);
    if (directive == nullptr) return -1;
    if (const int status = directive(reader, args); status != 0) return status;
  }
  return 0;
}

}  // namespace

int asn1_decode(Asn1Reader* reader, const char* tmpl, ...) {
  if (reader == nullptr || tmpl == nullptr) return -1;
  va_list args;
  va_start(args, tmpl);
  const int result = DecodeTemplate(reader, tmpl, &args);
  va_end(args);
  return result;
}
