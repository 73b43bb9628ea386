// The reader: a private copy of the input, a read position, and the ends of
// the elements the templates have entered. Every element read must lie
// inside the input and inside every entered element; nothing is ever read
// beyond those bounds.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "asn1/internal.h"

namespace {

constexpr int kStackStep = 16;

// End of the region the next element must fit in.
int ReaderLimit(const Asn1Reader* reader) {
  if (reader->entered_count > 0) return reader->entered_ends[reader->entered_count - 1];
  return reader->end;
}

}  // namespace

Asn1Reader* asn1_reader_new(const unsigned char* bytes, int length) {
  if (bytes == nullptr || length < 0) return nullptr;
  auto* reader = static_cast<Asn1Reader*>(std::calloc(1, sizeof(Asn1Reader)));
  if (reader == nullptr) return nullptr;
  // A zero-length input still gets a buffer of its own.
  reader->buffer =
      static_cast<unsigned char*>(std::malloc(length > 0 ? static_cast<std::size_t>(length) : 1));
  if (reader->buffer == nullptr) {
    std::free(reader);
    return nullptr;
  }
  if (length > 0) std::memcpy(reader->buffer, bytes, static_cast<std::size_t>(length));
  reader->end = length;
  return reader;
}

void asn1_reader_free(Asn1Reader* reader) {
  if (reader == nullptr) return;
  std::free(reader->entered_ends);
  std::free(reader->buffer);
  std::free(reader);
}

namespace asn1_internal {

int ReaderPeekHeader(const Asn1Reader* reader, ElementHeader* header) {
  const int limit = ReaderLimit(reader);
  int at = reader->position;
  if (at >= limit) return -2;
  const unsigned char* buffer = reader->buffer;
  header->start = at;
  header->identifier = buffer[at++];
  int tag = header->identifier & 0x1F;
  if (tag == 0x1F) {
    // High tag number: base-128 octets until one without the high bit, at
    // most five of them, and the number must fit in 31 bits.
    tag = 0;
    int octets = 0;
    for (;;) {
      if (at >= limit || octets == 5) return -1;
      const unsigned char octet = buffer[at++];
      ++octets;
      if (tag > (INT_MAX >> 7)) return -1;
      tag = (tag << 7) | (octet & 0x7F);
      if ((octet & 0x80u) == 0) break;
    }
  }
  header->tag = tag;

  if (at >= limit) return -1;
  const unsigned char first = buffer[at++];
  int length = 0;
  if (first < 0x80) {
    length = first;
  } else {
    // 0x80 is the indefinite form, which this decoder does not read; more
    // than four length octets cannot describe a 31-bit length.
    const int octets = first & 0x7F;
    if (octets == 0 || octets > 4) return -1;
    if (limit - at < octets) return -1;
    std::uint32_t value = 0;
    for (int i = 0; i < octets; ++i) value = (value << 8) | buffer[at++];
    if (value > static_cast<std::uint32_t>(INT_MAX)) return -1;
    length = static_cast<int>(value);
  }
  // The whole content must be present before anything relies on it.
  if (length > limit - at) return -1;
  header->content_start = at;
  header->content_length = length;
  return 0;
}

bool ReaderEnter(Asn1Reader* reader, const ElementHeader& header) {
  if (reader->entered_count == reader->entered_capacity) {
    if (reader->entered_capacity > INT_MAX / 2 - kStackStep) return false;
    const int capacity = reader->entered_capacity + kStackStep;
    void* resized =
        std::realloc(reader->entered_ends, sizeof(int) * static_cast<std::size_t>(capacity));
    if (resized == nullptr) return false;
    reader->entered_ends = static_cast<int*>(resized);
    reader->entered_capacity = capacity;
  }
  reader->entered_ends[reader->entered_count++] = header.content_start + header.content_length;
  reader->position = header.content_start;
  return true;
}

bool ReaderLeave(Asn1Reader* reader) {
  if (reader->entered_count == 0) return false;
  reader->position = reader->entered_ends[--reader->entered_count];
  return true;
}

}  // namespace asn1_internal
