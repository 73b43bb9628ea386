// The writer: an output buffer and a stack of constructed elements that are
// still open. A constructed element's header cannot be written before its
// content length is known, so room for the largest possible header is
// reserved when it begins, and the content is moved down behind the real
// header when it closes: the output has no gaps and every length is minimal.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "asn1/internal.h"

namespace {

constexpr int kBufferStep = 8192;
constexpr int kStackStep = 16;

// Offset where the next byte goes: the end of the innermost open element's
// content, or the end of the finished output when nothing is open.
int WriterUsed(const Asn1Writer* writer) {
  if (writer->open_count > 0) return writer->open[writer->open_count - 1].end;
  return writer->length;
}

void WriterAdvance(Asn1Writer* writer, int count) {
  if (writer->open_count > 0) {
    writer->open[writer->open_count - 1].end += count;
  } else {
    writer->length += count;
  }
}

// Makes room for extra more bytes after the used part, growing the buffer in
// whole steps. The buffer never grows beyond INT_MAX bytes.
bool WriterEnsure(Asn1Writer* writer, long long extra) {
  const long long needed = static_cast<long long>(WriterUsed(writer)) + extra;
  if (extra < 0 || needed > INT_MAX) return false;
  if (needed <= writer->capacity) return true;
  long long grown = (needed + kBufferStep - 1) / kBufferStep * kBufferStep;
  if (grown > INT_MAX) grown = INT_MAX;
  void* resized = std::realloc(writer->buffer, static_cast<std::size_t>(grown));
  if (resized == nullptr) return false;
  writer->buffer = static_cast<unsigned char*>(resized);
  writer->capacity = static_cast<int>(grown);
  return true;
}

}  // namespace

Asn1Writer* asn1_writer_new(void) {
  auto* writer = static_cast<Asn1Writer*>(std::calloc(1, sizeof(Asn1Writer)));
  if (writer == nullptr) return nullptr;
  writer->buffer = static_cast<unsigned char*>(std::malloc(kBufferStep));
  if (writer->buffer == nullptr) {
    std::free(writer);
    return nullptr;
  }
  writer->capacity = kBufferStep;
  writer->pending_tag = -1;
  return writer;
}

void asn1_writer_free(Asn1Writer* writer) {
  if (writer == nullptr) return;
  std::free(writer->open);
  std::free(writer->buffer);
  std::free(writer);
}

namespace asn1_internal {

unsigned char* WriterAppendElement(Asn1Writer* writer, unsigned char class_bits, int tag,
                                   int content_length, int* written) {
  if (tag < 0 || content_length < 0) return nullptr;
  unsigned char header[kMaxIdentifierOctets + kMaxLengthOctets];
  int header_size = EncodeIdentifier(class_bits, tag, header);
  header_size += EncodeLength(content_length, header + header_size);
  const long long total = static_cast<long long>(header_size) + content_length;
  if (!WriterEnsure(writer, total)) return nullptr;
  unsigned char* at = writer->buffer + WriterUsed(writer);
  std::memcpy(at, header, static_cast<std::size_t>(header_size));
  WriterAdvance(writer, static_cast<int>(total));
  *written = static_cast<int>(total);
  return at + header_size;
}

bool WriterAppendRaw(Asn1Writer* writer, const unsigned char* bytes, int length) {
  if (length < 0 || (bytes == nullptr && length > 0)) return false;
  if (!WriterEnsure(writer, length)) return false;
  if (length > 0) {
    std::memcpy(writer->buffer + WriterUsed(writer), bytes, static_cast<std::size_t>(length));
  }
  WriterAdvance(writer, length);
  return true;
}

bool WriterBegin(Asn1Writer* writer, int tag, unsigned char class_bits, bool context) {
  if (tag < 0) return false;
  if (writer->open_count == writer->open_capacity) {
    if (writer->open_capacity > INT_MAX / 2 - kStackStep) return false;
    const int capacity = writer->open_capacity + kStackStep;
    void* resized =
        std::realloc(writer->open, sizeof(Asn1OpenElement) * static_cast<std::size_t>(capacity));
    if (resized == nullptr) return false;
    writer->open = static_cast<Asn1OpenElement*>(resized);
    writer->open_capacity = capacity;
  }
  // Room for the identifier octets and the longest length form.
  const int gap = IdentifierSize(tag) + 6;
  if (!WriterEnsure(writer, gap)) return false;
  const int start = WriterUsed(writer) + gap;
  Asn1OpenElement& element = writer->open[writer->open_count++];
  element.tag = tag;
  element.class_bits = static_cast<unsigned char>(class_bits & 0xE0u);
  element.context = context ? 1 : 0;
  element.start = start;
  element.end = start;
  return true;
}

int WriterClose(Asn1Writer* writer, bool context_closer) {
  if (writer->open_count == 0) return -1;
  const Asn1OpenElement element = writer->open[--writer->open_count];
  const bool context = element.context != 0 || context_closer;
  const auto class_bits =
      static_cast<unsigned char>((context ? 0xA0u : 0x20u) | element.class_bits);
  const int content_length = element.end - element.start;
  unsigned char header[kMaxIdentifierOctets + kMaxLengthOctets];
  int header_size = EncodeIdentifier(class_bits, element.tag, header);
  header_size += EncodeLength(content_length, header + header_size);
  // The header goes where the reserved gap begins, which is the parent's
  // current end; it is never larger than the gap.
  const int at = WriterUsed(writer);
  std::memmove(writer->buffer + at + header_size, writer->buffer + element.start,
               static_cast<std::size_t>(content_length));
  std::memcpy(writer->buffer + at, header, static_cast<std::size_t>(header_size));
  WriterAdvance(writer, header_size + content_length);
  return header_size;
}

}  // namespace asn1_internal
