// Compression of large signed messages into one gzip member, and its reverse.
//
// mem_compress and mem_uncompress are exported from the module with C linkage so
// that other programs can produce and read the same compressed form. Both return
// a zlib result code and report sizes through `*dstLen`:
//   in:  the capacity of `dst` in bytes (a null `dst` counts as capacity 0);
//   out: the size of the complete result, whether or not it fitted.
// Z_OK: the result is in `dst`. Z_BUF_ERROR: the capacity was too small; nothing
// was written beyond it; call again with `*dstLen` bytes. Z_DATA_ERROR: no input,
// or (uncompressing) not a well-formed block, corrupt deflate data or a CRC-32
// mismatch. Z_MEM_ERROR: a work buffer cannot be allocated, or the result would not
// fit in an int. Any other value comes from the zlib stream's initialisation.
//
// CompressIfLarge and UncompressIfCompressed are the steps the signing and
// verifying engines apply; they replace the buffer only on success and otherwise
// leave it exactly as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" {
__attribute__((visibility("default"))) int mem_compress(const unsigned char* src, int srcLen,
                                                        unsigned char* dst, int* dstLen);
__attribute__((visibility("default"))) int mem_uncompress(const unsigned char* src, int srcLen,
                                                          unsigned char* dst, int* dstLen);
}

namespace quorvel::container {

// Blocks whose uncompressed form would be larger than this are not uncompressed by
// UncompressIfCompressed: they are passed on unchanged, so that a small hostile
// block cannot make the verifier allocate or inflate gigabytes.
inline constexpr std::size_t kMaxUncompressedSize = std::size_t{256} << 20;

// The work unit: compression reads its input and writes its output in pieces
// of this many bytes, and output that does not fit the caller's buffer is
// counted in pieces of this size (what fits is written in place at once).
inline constexpr std::size_t kCompressionChunkSize = 16384;

// Replaces `buffer` by its compressed form when it is not empty and holds at least
// `threshold` bytes, even when the compressed form is larger. Returns true when
// the buffer was replaced.
bool CompressIfLarge(std::vector<std::uint8_t>& buffer, std::int32_t threshold);

// Replaces `buffer` by its uncompressed bytes when it holds a well-formed
// compressed block whose output is at most kMaxUncompressedSize bytes. Returns
// true when the buffer was replaced; anything else (for example a DER message)
// is left unchanged for the parser that follows.
bool UncompressIfCompressed(std::vector<std::uint8_t>& buffer);

}  // namespace quorvel::container
