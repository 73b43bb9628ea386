// Owning handles for the template codec's writers, readers and the buffers
// its decoder returns.
#pragma once

#include <cstdlib>
#include <memory>
#include <string_view>

#include "asn1/asn1.h"

namespace quorvel::engine {

struct Asn1WriterDeleter {
  void operator()(Asn1Writer* writer) const { asn1_writer_free(writer); }
};
struct Asn1ReaderDeleter {
  void operator()(Asn1Reader* reader) const { asn1_reader_free(reader); }
};
using Asn1WriterPtr = std::unique_ptr<Asn1Writer, Asn1WriterDeleter>;
using Asn1ReaderPtr = std::unique_ptr<Asn1Reader, Asn1ReaderDeleter>;

// A buffer or array the decoder allocated, freed with free().
template <typename T>
class Asn1Owned {
 public:
  Asn1Owned() = default;
  Asn1Owned(const Asn1Owned&) = delete;
  Asn1Owned& operator=(const Asn1Owned&) = delete;
  ~Asn1Owned() { std::free(pointer_); }

  // The place the decoder stores into; whatever was held is freed first.
  T** out() {
    std::free(pointer_);
    pointer_ = nullptr;
    return &pointer_;
  }
  T* get() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

 private:
  T* pointer_ = nullptr;
};

// A reader over `bytes`; null when the codec cannot make one.
inline Asn1ReaderPtr NewAsn1Reader(const unsigned char* bytes, int length) {
  // The codec refuses a null pointer even for an empty input.
  static const unsigned char kNothing = 0;
  return Asn1ReaderPtr(asn1_reader_new(bytes != nullptr ? bytes : &kNothing, length));
}

}  // namespace quorvel::engine
