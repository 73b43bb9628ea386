// asn1_decode: walks a decoding template over the reader's input.
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

// Moves past an element whose header ReaderPeekHeader gave, once the
// directive has used its content.
void Consume(Asn1Reader* reader, const ElementHeader& header) {
  reader->position = header.content_start + header.content_length;
}

int DecodeTemplate(Asn1Reader* reader, const char* tmpl, va_list args) {
  for (const char* p = tmpl; *p != '\0'; ++p) {
    const char directive = *p;
    ElementHeader header{};
    switch (directive) {
      case '}':
      case ']':
      case ')':
        if (!ReaderLeave(reader)) return -1;
        break;
      case '{':
      case '[':
      case '(': {
        const int status = ReaderPeekHeader(reader, &header);
        if (status != 0) return status;
        if (!ReaderEnter(reader, header)) return -1;
        break;
      }
      case 'i':
      case 'e': {
        int* value = va_arg(args, int*);
        if (value == nullptr) return -1;
        const int status = ReaderPeekHeader(reader, &header);
        if (status != 0) return status;
        std::int32_t decoded = 0;
        if (!DecodeIntegerContent(reader->buffer + header.content_start, header.content_length,
                                  &decoded)) {
          return -1;
        }
        *value = decoded;
        Consume(reader, header);
        break;
      }
      case 'b': {
        unsigned char* value = va_arg(args, unsigned char*);
        if (value == nullptr) return -1;
        const int status = ReaderPeekHeader(reader, &header);
        if (status != 0) return status;
        if (header.content_length != 1) return -1;
        const unsigned char octet = reader->buffer[header.content_start];
        if (octet != 0x00 && octet != 0xFF) return -1;
        *value = octet;
        Consume(reader, header);
        break;
      }
      case 'n': {
        const int status = ReaderPeekHeader(reader, &header);
        if (status != 0) return status;
        if (header.content_length != 0) return -1;
        Consume(reader, header);
        break;
      }
      case 'x': {
        const int status = ReaderPeekHeader(reader, &header);
        if (status != 0) return status;
        Consume(reader, header);
        break;
      }
      case 'o':
      case '6': {
        unsigned char** bytes = va_arg(args, unsigned char**);
        int* length = va_arg(args, int*);
        if (bytes == nullptr || length == nullptr) return -1;
        const int status = ReaderPeekHeader(reader, &header);
        if (status != 0) return status;
        unsigned char* copy =
            CopyWithZero(reader->buffer + header.content_start, header.content_length);
        if (copy == nullptr) return -1;
        *bytes = copy;
        *length = header.content_length;
        Consume(reader, header);
        break;
      }
      case 'a': {
        char** text = va_arg(args, char**);
        if (text == nullptr) return -1;
        const int status = ReaderPeekHeader(reader, &header);
        if (status != 0) return status;
        unsigned char* copy =
            CopyWithZero(reader->buffer + header.content_start, header.content_length);
        if (copy == nullptr) return -1;
        *text = reinterpret_cast<char*>(copy);
        Consume(reader, header);
        break;
      }
      case 'u':
      case 'g': {
        char* text = va_arg(args, char*);
        if (text == nullptr) return -1;
        const int status = ReaderPeekHeader(reader, &header);
        if (status != 0) return status;
        // The caller's buffer has ASN1_TIME_BUFFER_SIZE bytes, NUL included.
        if (header.content_length > ASN1_TIME_BUFFER_SIZE - 1) return -1;
        std::memcpy(text, reader->buffer + header.content_start,
                    static_cast<std::size_t>(header.content_length));
        text[header.content_length] = '\0';
        Consume(reader, header);
        break;
      }
      case 'B': {
        unsigned char** bytes = va_arg(args, unsigned char**);
        int* bit_count = va_arg(args, int*);
        if (bytes == nullptr || bit_count == nullptr) return -1;
        const int status = ReaderPeekHeader(reader, &header);
        if (status != 0) return status;
        // The first octet counts the unused bits of the last one: 0 to 7, and
        // 0 when no octet follows.
        if (header.content_length < 1) return -1;
        const int unused = reader->buffer[header.content_start];
        const int data_length = header.content_length - 1;
        if (unused > 7 || (data_length == 0 && unused != 0)) return -1;
        const long long bits = static_cast<long long>(data_length) * 8 - unused;
        if (bits > INT_MAX) return -1;
        unsigned char* copy = CopyWithZero(reader->buffer + header.content_start + 1, data_length);
        if (copy == nullptr) return -1;
        if (data_length > 0) {
          copy[data_length - 1] =
              static_cast<unsigned char>(copy[data_length - 1] & (0xFFu << unused));
        }
        *bytes = copy;
        *bit_count = static_cast<int>(bits);
        Consume(reader, header);
        break;
      }
      case 'I': {
        char** digits = va_arg(args, char**);
        int* count = va_arg(args, int*);
        if (digits == nullptr || count == nullptr) return -1;
        const int status = ReaderPeekHeader(reader, &header);
        if (status != 0) return status;
        if (header.content_length > (INT_MAX - 1) / 2) return -1;
        const int digit_count = header.content_length * 2;
        auto* text = static_cast<char*>(std::malloc(static_cast<std::size_t>(digit_count) + 1));
        if (text == nullptr) return -1;
        OctetsToHex(reader->buffer + header.content_start, header.content_length, text);
        *digits = text;
        *count = digit_count;
        Consume(reader, header);
        break;
      }
      case 'O': {
        int** arcs = va_arg(args, int**);
        int* count = va_arg(args, int*);
        if (arcs == nullptr || count == nullptr) return -1;
        const int status = ReaderPeekHeader(reader, &header);
        if (status != 0) return status;
        int decoded[ASN1_MAX_OID_ARCS];
        int decoded_count = 0;
        if (!DecodeOid(reader->buffer + header.content_start, header.content_length, decoded,
                       &decoded_count)) {
          return -1;
        }
        auto* array = static_cast<int*>(std::calloc(ASN1_MAX_OID_ARCS, sizeof(int)));
        if (array == nullptr) return -1;
        std::memcpy(array, decoded, sizeof(int) * static_cast<std::size_t>(decoded_count));
        *arcs = array;
        *count = decoded_count;
        Consume(reader, header);
        break;
      }
      case '$': {
        unsigned char** bytes = va_arg(args, unsigned char**);
        int* size = va_arg(args, int*);
        if (bytes == nullptr || size == nullptr) return -1;
        const int status = ReaderPeekHeader(reader, &header);
        if (status != 0) return status;
        // Header and content both lie inside the input, so their sum fits.
        const int total = header.content_start - header.start + header.content_length;
        unsigned char* copy = CopyWithZero(reader->buffer + header.start, total);
        if (copy == nullptr) return -1;
        *bytes = copy;
        *size = total;
        Consume(reader, header);
        break;
      }
      case 't': {
        int* tag = va_arg(args, int*);
        unsigned char* class_bits = va_arg(args, unsigned char*);
        if (tag == nullptr || class_bits == nullptr) return -1;
        const int status = ReaderPeekHeader(reader, &header);
        if (status != 0) return status;
        *tag = header.tag;
        *class_bits = static_cast<unsigned char>(header.identifier & 0xE0u);
        break;
      }
      default:
        return -1;
    }
  }
  return 0;
}

}  // namespace

int asn1_decode(Asn1Reader* reader, const char* tmpl, ...) {
  if (reader == nullptr || tmpl == nullptr) return -1;
  va_list args;
  va_start(args, tmpl);
  const int result = DecodeTemplate(reader, tmpl, args);
  va_end(args);
  return result;
}
