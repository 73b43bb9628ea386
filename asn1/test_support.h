// Small helpers shared by the codec's tests.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "asn1/asn1.h"

namespace asn1_test {

using Bytes = std::vector<unsigned char>;

struct WriterDeleter {
  void operator()(Asn1Writer* writer) const { asn1_writer_free(writer); }
};
struct ReaderDeleter {
  void operator()(Asn1Reader* reader) const { asn1_reader_free(reader); }
};
struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

using WriterPtr = std::unique_ptr<Asn1Writer, WriterDeleter>;
using ReaderPtr = std::unique_ptr<Asn1Reader, ReaderDeleter>;

inline WriterPtr NewWriter() {
  return WriterPtr(asn1_writer_new());
}

inline ReaderPtr NewReader(const Bytes& bytes) {
  // A distinct non-null pointer even for an empty input.
  static const unsigned char kEmpty = 0;
  return ReaderPtr(
      asn1_reader_new(bytes.empty() ? &kEmpty : bytes.data(), static_cast<int>(bytes.size())));
}

// The writer's finished output.
inline Bytes Output(const Asn1Writer* writer) {
  return Bytes(writer->buffer, writer->buffer + writer->length);
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Buffer returned by the decoder, freed when the holder goes out of scope.
template <typename T>
struct Owned {
  T* ptr = nullptr;
  ~Owned() { std::free(ptr); }
  Owned() = default;
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
};

}  // namespace asn1_test
