#include "container/compress.h"

#define ZLIB_CONST
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace {

using quorvel::container::kCompressionChunkSize;

// ID1 ID2 CM=deflate FLG=0 MTIME=0 XFL=0 OS=11.
constexpr unsigned char kHeader[] = {0x1F, 0x8B, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0B};
constexpr std::size_t kHeaderSize = sizeof kHeader;
constexpr std::size_t kTrailerSize = 8;
constexpr std::size_t kSmallestBlock = kHeaderSize + kTrailerSize;

constexpr unsigned kFlagHeaderCrc = 0x02;
constexpr unsigned kFlagExtra = 0x04;
constexpr unsigned kFlagName = 0x08;
constexpr unsigned kFlagComment = 0x10;
constexpr unsigned kFlagReserved = 0xE0;

constexpr int kWindowBits = 15;
constexpr int kMemoryLevel = 8;

constexpr std::size_t kIntMax = static_cast<std::size_t>(INT_MAX);

class DeflateStream {
 public:
  DeflateStream() = default;
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;
  ~DeflateStream() {
    if (ready_) deflateEnd(&stream_);
  }

  int Init() {
    const int rc = deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -kWindowBits,
                                kMemoryLevel, Z_DEFAULT_STRATEGY);
    ready_ = rc == Z_OK;
    return rc;
  }
  z_stream& get() { return stream_; }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

class InflateStream {
 public:
  InflateStream() = default;
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;
  ~InflateStream() {
    if (ready_) inflateEnd(&stream_);
  }

  int Init() {
    const int rc = inflateInit2(&stream_, -kWindowBits);
    ready_ = rc == Z_OK;
    return rc;
  }
  z_stream& get() { return stream_; }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

std::unique_ptr<unsigned char[]> AllocateChunk() {
  return std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[kCompressionChunkSize]);
}

// The caller's buffer: pieces are copied only when they fit entirely within the
// capacity, and every byte is counted either way so the full size can be reported.
// The most bytes one inflate call is given to read or to write.
constexpr std::size_t kMaxStreamSpan = std::numeric_limits<uInt>::max();

class BoundedOutput {
 public:
  BoundedOutput(unsigned char* dst, std::size_t capacity)
      : dst_(dst), capacity_(dst == nullptr ? 0 : capacity) {}

  void Put(const unsigned char* data, std::size_t length) {
    // An empty piece copies nothing, and must not reach memcpy with no buffer.
    if (length > 0 && length <= capacity_ && size_ <= capacity_ - length) {
      std::memcpy(dst_ + size_, data, length);
    }
    size_ += length;
  }
  std::size_t size() const { return size_; }
  bool fitted() const { return size_ <= capacity_; }
  // The free part of the destination, to be written in place and then claimed
  // with Advance.
  std::size_t room() const { return fitted() ? capacity_ - size_ : 0; }
  unsigned char* next() const { return dst_ + size_; }
  void Advance(std::size_t length) { size_ += length; }

 private:
  unsigned char* dst_;
  std::size_t capacity_;
  std::size_t size_ = 0;
};

std::size_t CapacityOf(const unsigned char* dst, const int* dstLen) {
  if (dst == nullptr || *dstLen <= 0) return 0;
  return static_cast<std::size_t>(*dstLen);
}

void StoreLittleEndian32(unsigned char* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    at[i] = static_cast<unsigned char>(value & 0xFF);
    value >>= 8;
  }
}

std::uint32_t GetLittleEndian32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// Runs deflate with `flush` over the stream's current input, handing every full
// work buffer to `out`; at the end of the stream it also hands over the last,
// partial one.
int Drive(z_stream& stream, int flush, unsigned char* work, BoundedOutput& out) {
  for (;;) {
    const int rc = deflate(&stream, flush);
    if (rc == Z_STREAM_ERROR) return rc;
    if (rc == Z_STREAM_END) {
      out.Put(work, kCompressionChunkSize - stream.avail_out);
      return Z_OK;
    }
    if (stream.avail_out == 0) {
      out.Put(work, kCompressionChunkSize);
      stream.next_out = work;
      stream.avail_out = static_cast<uInt>(kCompressionChunkSize);
      continue;
    }
    // With room left in the work buffer deflate has taken all the input, and a
    // finishing call has reached the end of the stream.
    return flush == Z_FINISH ? Z_STREAM_ERROR : Z_OK;
  }
}

// Advances `pos` past the fixed header and the optional fields that FLG announces.
bool SkipHeader(const unsigned char* src, std::size_t length, std::size_t& pos) {
  if (src[0] != 0x1F || src[1] != 0x8B || src[2] != 0x08) return false;
  const unsigned flags = src[3];
  if ((flags & kFlagReserved) != 0) return false;
  pos = kHeaderSize;
  if ((flags & kFlagExtra) != 0) {
    if (length - pos < 2) return false;
    const std::size_t extra =
        static_cast<std::size_t>(src[pos]) | static_cast<std::size_t>(src[pos + 1]) << 8;
    pos += 2;
    if (length - pos < extra) return false;
    pos += extra;
  }
  for (const unsigned zeroTerminated : {kFlagName, kFlagComment}) {
    if ((flags & zeroTerminated) == 0) continue;
    const auto* end = static_cast<const unsigned char*>(std::memchr(src + pos, 0, length - pos));
    if (end == nullptr) return false;
    pos = static_cast<std::size_t>(end - src) + 1;
  }
  if ((flags & kFlagHeaderCrc) != 0) {
    if (length - pos < 2) return false;
    pos += 2;
  }
  return true;
}

struct InflateOutcome {
  int code;
  bool tooLarge;
};

// Inflates one gzip member into `out`, stopping as soon as the output exceeds
// `limit` bytes so that neither time nor memory depends on what the block claims.
InflateOutcome InflateMember(const unsigned char* src, std::size_t length, BoundedOutput& out,
                             std::size_t limit) {
  InflateStream inflater;
  if (const int rc = inflater.Init(); rc != Z_OK) return {rc, false};
  std::size_t pos = 0;
  if (!SkipHeader(src, length, pos)) return {Z_DATA_ERROR, false};
  // Output goes straight into the caller's buffer while it has room; past it,
  // into a work chunk, only to be counted.
  decltype(AllocateChunk()) work;

  z_stream& stream = inflater.get();
  uLong crc = crc32(0L, Z_NULL, 0);
  for (;;) {
    if (stream.avail_in == 0) {
      if (pos == length) return {Z_DATA_ERROR, false};  // deflate data ends early
      // The whole input at once (up to what zlib counts): fewer calls.
      const std::size_t chunk = std::min<std::size_t>(kMaxStreamSpan, length - pos);
      stream.next_in = src + pos;
      stream.avail_in = static_cast<uInt>(chunk);
      pos += chunk;
    }
    const std::size_t room = out.room();
    if (room == 0 && !work) {
      work = AllocateChunk();
      if (!work) return {Z_MEM_ERROR, false};
    }
    // The caller's buffer is filled in one call as zlib's own gzip reader does;
    // the check value is computed over each call's output, as zlib computes it.
    unsigned char* target = room > 0 ? out.next() : work.get();
    const std::size_t span = room > 0 ? std::min(room, kMaxStreamSpan) : kCompressionChunkSize;
    stream.next_out = target;
    stream.avail_out = static_cast<uInt>(span);
    const int rc = inflate(&stream, Z_NO_FLUSH);
    if (rc == Z_MEM_ERROR) return {Z_MEM_ERROR, false};
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) return {Z_DATA_ERROR, false};
    const std::size_t produced = span - stream.avail_out;
    if (rc == Z_BUF_ERROR && produced == 0 && stream.avail_in != 0) return {Z_DATA_ERROR, false};
    crc = crc32(crc, target, static_cast<uInt>(produced));
    if (room > 0) {
      out.Advance(produced);
    } else {
      out.Put(target, produced);
    }
    if (out.size() > limit) return {Z_MEM_ERROR, true};
    if (rc == Z_STREAM_END) break;
  }

  const std::size_t trailerAt = pos - stream.avail_in;
  if (length - trailerAt != kTrailerSize) return {Z_DATA_ERROR, false};
  if (GetLittleEndian32(src + trailerAt) != static_cast<std::uint32_t>(crc)) {
    return {Z_DATA_ERROR, false};
  }
  return {out.fitted() ? Z_OK : Z_BUF_ERROR, false};
}

}  // namespace

extern "C" int mem_compress(const unsigned char* src, int srcLen, unsigned char* dst, int* dstLen) {
  if (dstLen == nullptr) return Z_DATA_ERROR;
  DeflateStream deflater;
  if (const int rc = deflater.Init(); rc != Z_OK) return rc;
  if (src == nullptr || srcLen <= 0) return Z_DATA_ERROR;
  const auto work = AllocateChunk();
  if (!work) return Z_MEM_ERROR;

  BoundedOutput out(dst, CapacityOf(dst, dstLen));
  for (std::size_t i = 0; i < kHeaderSize; ++i) out.Put(&kHeader[i], 1);

  z_stream& stream = deflater.get();
  stream.next_out = work.get();
  stream.avail_out = static_cast<uInt>(kCompressionChunkSize);
  const auto inputLength = static_cast<std::size_t>(srcLen);
  uLong crc = crc32(0L, Z_NULL, 0);
  for (std::size_t pos = 0; pos < inputLength;) {
    const std::size_t chunk = std::min(kCompressionChunkSize, inputLength - pos);
    stream.next_in = src + pos;
    stream.avail_in = static_cast<uInt>(chunk);
    crc = crc32(crc, src + pos, static_cast<uInt>(chunk));
    if (const int rc = Drive(stream, Z_NO_FLUSH, work.get(), out); rc != Z_OK) return rc;
    pos += chunk;
  }
  if (const int rc = Drive(stream, Z_FINISH, work.get(), out); rc != Z_OK) return rc;

  // The trailer goes out byte by byte so that as much of it as fits is written.
  unsigned char trailer[kTrailerSize];
  StoreLittleEndian32(trailer, static_cast<std::uint32_t>(crc));
  StoreLittleEndian32(trailer + 4, static_cast<std::uint32_t>(inputLength & 0xFFFFFFFFu));
  for (const unsigned char& byte : trailer) out.Put(&byte, 1);

  if (out.size() > kIntMax) {
    *dstLen = 0;
    return Z_MEM_ERROR;
  }
  *dstLen = static_cast<int>(out.size());
  return out.fitted() ? Z_OK : Z_BUF_ERROR;
}

extern "C" int mem_uncompress(const unsigned char* src, int srcLen, unsigned char* dst,
                              int* dstLen) {
  if (dstLen == nullptr) return Z_DATA_ERROR;
  if (src == nullptr || srcLen <= static_cast<int>(kSmallestBlock)) return Z_DATA_ERROR;
  BoundedOutput out(dst, CapacityOf(dst, dstLen));
  const InflateOutcome outcome = InflateMember(src, static_cast<std::size_t>(srcLen), out, kIntMax);
  if (outcome.tooLarge) {
    *dstLen = 0;
    return Z_MEM_ERROR;
  }
  if (outcome.code == Z_OK || outcome.code == Z_BUF_ERROR) *dstLen = static_cast<int>(out.size());
  return outcome.code;
}

namespace quorvel::container {

bool CompressIfLarge(std::vector<std::uint8_t>& buffer, std::int32_t threshold) {
  if (buffer.empty() || buffer.size() < static_cast<std::size_t>(std::max(threshold, 0))) {
    return false;
  }
  if (buffer.size() > kIntMax) return false;
  const int length = static_cast<int>(buffer.size());
  try {
    std::vector<std::uint8_t> compressed(std::min(buffer.size() + 20, kIntMax));
    int size = static_cast<int>(compressed.size());
    int rc = mem_compress(buffer.data(), length, compressed.data(), &size);
    if (rc == Z_BUF_ERROR) {
      compressed.resize(static_cast<std::size_t>(size));
      rc = mem_compress(buffer.data(), length, compressed.data(), &size);
    }
    if (rc != Z_OK) return false;
    compressed.resize(static_cast<std::size_t>(size));
    buffer.swap(compressed);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool UncompressIfCompressed(std::vector<std::uint8_t>& buffer) {
  // Anything that cannot be a compressed block is passed on without allocating.
  if (buffer.size() <= kSmallestBlock || buffer[0] != 0x1F || buffer[1] != 0x8B) return false;
  try {
    std::vector<std::uint8_t> plain(std::min(2 * buffer.size(), kMaxUncompressedSize));
    BoundedOutput first(plain.data(), plain.size());
    InflateOutcome outcome =
        InflateMember(buffer.data(), buffer.size(), first, kMaxUncompressedSize);
    std::size_t size = first.size();
    if (outcome.code == Z_BUF_ERROR) {
      plain.resize(size);
      BoundedOutput second(plain.data(), plain.size());
      outcome = InflateMember(buffer.data(), buffer.size(), second, kMaxUncompressedSize);
      size = second.size();
    }
    if (outcome.code != Z_OK) return false;
    plain.resize(size);
    buffer.swap(plain);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace quorvel::container
