// Compressed blocks as they arrive inside signed messages: the exported
// routine with every capacity a caller may give, the verifier's step, and the
// round trip of arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "container/compress.h"

namespace {

// Output is bounded so that a small block cannot make the fuzzer allocate
// what the verifier would refuse anyway.
constexpr int kMaxOutput = 1 << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const int length = static_cast<int>(size);
  int needed = 0;
  const int probe = mem_uncompress(data, length, nullptr, &needed);
  if (probe == 0 && needed != 0) std::abort();  // nothing fits in no room but nothing
  if (probe == -5 /* Z_BUF_ERROR */ && needed > 0 && needed <= kMaxOutput) {
    std::vector<unsigned char> out(static_cast<size_t>(needed) + 16, 0xA5);
    int capacity = needed;
    if (mem_uncompress(data, length, out.data(), &capacity) != 0 || capacity != needed) {
      std::abort();
    }
    for (size_t i = static_cast<size_t>(needed); i < out.size(); ++i) {
      if (out[i] != 0xA5) std::abort();  // nothing written beyond the result
    }
    // One byte too little is refused without writing past it.
    std::vector<unsigned char> short_(static_cast<size_t>(needed) + 15, 0x5A);
    int less = needed - 1;
    if (mem_uncompress(data, length, short_.data(), &less) != -5 || less != needed) std::abort();
    for (size_t i = static_cast<size_t>(needed - 1); i < short_.size(); ++i) {
      if (short_[i] != 0x5A) std::abort();
    }
  }
  std::vector<uint8_t> buffer(data, data + size);
  if (!quorvel::container::UncompressIfCompressed(buffer) &&
      (buffer.size() != size || (size > 0 && std::memcmp(buffer.data(), data, size) != 0))) {
    std::abort();  // a block that is not uncompressed stays exactly as it was
  }

  std::vector<uint8_t> original(data, data + size);
  std::vector<uint8_t> packed = original;
  if (quorvel::container::CompressIfLarge(packed, 1)) {
    if (!quorvel::container::UncompressIfCompressed(packed) || packed != original) std::abort();
  }
  return 0;
}
