#include "container/compress.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <string>
#include <string_view>
#include <vector>

// Records the largest single allocation made through operator new, so that tests
// can show that a hostile block is refused without a large buffer.
namespace {
std::size_t g_largestAllocation = 0;
}

void* operator new(std::size_t size) {
  if (size > g_largestAllocation) g_largestAllocation = size;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
// Not inlined: the compiler would then see free() meet a pointer from
// operator new and warn of a mismatch that these replacements do not have.
[[gnu::noinline]] void operator delete(void* p) noexcept {
  std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace quorvel::container {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

Bytes RandomBytes(std::size_t length, unsigned seed) {
  std::mt19937 generator(seed);
  Bytes bytes(length);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(generator() & 0xFF);
  return bytes;
}

Bytes SampleText(std::size_t length) {
  std::string text;
  for (int line = 0; text.size() < length; ++line) {
    text += "Payment order " + std::to_string(line) + ": account 6222 0210 " +
            std::to_string(line * 7919 % 100000) + ", amount " + std::to_string(line % 977) +
            ".00 CNY, beneficiary Drennic Trading Co.\n";
  }
  text.resize(length);
  return ToBytes(text);
}

// Both exports through their two-call protocol: a size query, then a call with a
// buffer of the reported size.
int CallTwice(decltype(&mem_compress) routine, const Bytes& src, Bytes& out) {
  int size = 0;
  int rc = routine(src.data(), static_cast<int>(src.size()), nullptr, &size);
  if (rc != Z_BUF_ERROR) return rc;
  out.assign(static_cast<std::size_t>(size), 0);
  rc = routine(src.data(), static_cast<int>(src.size()), out.data(), &size);
  EXPECT_EQ(static_cast<std::size_t>(size), out.size());
  return rc;
}

Bytes Compress(const Bytes& src) {
  Bytes out;
  EXPECT_EQ(CallTwice(&mem_compress, src, out), Z_OK);
  return out;
}

int Uncompress(const Bytes& src, Bytes& out) {
  return CallTwice(&mem_uncompress, src, out);
}

// Decodes with zlib's own gzip reader, independently of mem_uncompress.
Bytes ZlibGunzip(const Bytes& member) {
  z_stream stream{};
  EXPECT_EQ(inflateInit2(&stream, 16 + 15), Z_OK);
  Bytes out;
  std::uint8_t piece[4096];
  stream.next_in = const_cast<Bytef*>(member.data());
  stream.avail_in = static_cast<uInt>(member.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    stream.next_out = piece;
    stream.avail_out = sizeof piece;
    rc = inflate(&stream, Z_NO_FLUSH);
    out.insert(out.end(), piece, piece + (sizeof piece - stream.avail_out));
  }
  EXPECT_EQ(rc, Z_STREAM_END);
  EXPECT_EQ(stream.avail_in, 0u);
  inflateEnd(&stream);
  return out;
}

const Bytes kAbc = ToBytes("abc");
const Bytes kAbcCompressed = {0x1F, 0x8B, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00,
                              0x00, 0x0B, 0x4B, 0x4C, 0x4A, 0x06, 0x00, 0xC2,
                              0x41, 0x24, 0x35, 0x03, 0x00, 0x00, 0x00};

TEST(MemCompress, ProducesTheFixedHeaderDeflateDataAndTrailer) {
  EXPECT_EQ(Compress(kAbc), kAbcCompressed);
}

TEST(MemCompress, ReportsTheFullSizeAndWritesNothingBeyondASmallCapacity) {
  Bytes dst(32, 0xEE);
  int size = 10;
  EXPECT_EQ(mem_compress(kAbc.data(), 3, dst.data(), &size), Z_BUF_ERROR);
  EXPECT_EQ(size, 23);
  EXPECT_EQ(Bytes(dst.begin() + 10, dst.end()), Bytes(22, 0xEE));

  size = 0;
  EXPECT_EQ(mem_compress(kAbc.data(), 3, nullptr, &size), Z_BUF_ERROR);
  EXPECT_EQ(size, 23);

  size = 23;
  EXPECT_EQ(mem_compress(kAbc.data(), 3, dst.data(), &size), Z_OK);
  EXPECT_EQ(Bytes(dst.begin(), dst.begin() + 23), kAbcCompressed);
  EXPECT_EQ(dst[23], 0xEE);
}

TEST(MemCompress, RefusesMissingInput) {
  Bytes dst(64);
  int size = 64;
  EXPECT_EQ(mem_compress(nullptr, 3, dst.data(), &size), Z_DATA_ERROR);
  EXPECT_EQ(mem_compress(kAbc.data(), 0, dst.data(), &size), Z_DATA_ERROR);
  EXPECT_EQ(mem_compress(kAbc.data(), -1, dst.data(), &size), Z_DATA_ERROR);
  EXPECT_EQ(mem_compress(kAbc.data(), 3, dst.data(), nullptr), Z_DATA_ERROR);
}

TEST(MemCompress, OutputIsAGzipMemberThatZlibReadsBack) {
  for (const Bytes& input : {kAbc, SampleText(100000), RandomBytes(70000, 7)}) {
    EXPECT_EQ(ZlibGunzip(Compress(input)), input);
  }
}

TEST(MemUncompress, RestoresTheKnownVector) {
  Bytes out;
  EXPECT_EQ(Uncompress(kAbcCompressed, out), Z_OK);
  EXPECT_EQ(out, kAbc);
}

TEST(MemUncompress, ReportsTheFullSizeAndWritesNothingBeyondASmallCapacity) {
  const Bytes text = SampleText(40000);
  const Bytes member = Compress(text);
  Bytes dst(text.size() + 100, 0xEE);
  int size = 20000;
  EXPECT_EQ(mem_uncompress(member.data(), static_cast<int>(member.size()), dst.data(), &size),
            Z_BUF_ERROR);
  EXPECT_EQ(size, 40000);
  EXPECT_EQ(Bytes(dst.begin() + 20000, dst.end()), Bytes(dst.size() - 20000, 0xEE));
}

// Found by fuzzing: an empty result asked for without a buffer passed a null
// pointer to memcpy (reported by UndefinedBehaviorSanitizer).
TEST(MemUncompress, AnEmptyResultNeedsNoBuffer) {
  const Bytes member = {0x1f, 0x8b, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03,
                        0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  int size = 0;
  EXPECT_EQ(mem_uncompress(member.data(), static_cast<int>(member.size()), nullptr, &size), Z_OK);
  EXPECT_EQ(size, 0);
}

TEST(MemUncompress, RefusesBlocksOfEighteenBytesOrLessWhateverTheyHold) {
  Bytes dst(64);
  for (std::size_t length = 0; length <= 18; ++length) {
    const Bytes prefix(kAbcCompressed.begin(), kAbcCompressed.begin() + length);
    int size = 64;
    EXPECT_EQ(mem_uncompress(prefix.data(), static_cast<int>(length), dst.data(), &size),
              Z_DATA_ERROR)
        << length;
  }
  int size = 64;
  EXPECT_EQ(mem_uncompress(nullptr, 23, dst.data(), &size), Z_DATA_ERROR);
}

TEST(MemUncompress, RefusesADerMessage) {
  const Bytes der = {0x30, 0x82, 0x01, 0x0A, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7,
                     0x0D, 0x01, 0x07, 0x02, 0xA0, 0x82, 0x00, 0xFB, 0x30, 0x82, 0x00};
  Bytes out;
  EXPECT_EQ(Uncompress(der, out), Z_DATA_ERROR);
}

TEST(MemUncompress, ChecksTheTrailer) {
  Bytes out;
  Bytes appended = kAbcCompressed;
  appended.push_back(0x00);
  EXPECT_EQ(Uncompress(appended, out), Z_DATA_ERROR);

  Bytes truncated = Compress(SampleText(5000));
  truncated.pop_back();
  EXPECT_EQ(Uncompress(truncated, out), Z_DATA_ERROR);

  Bytes badCrc = kAbcCompressed;
  badCrc[15] ^= 0x01;
  EXPECT_EQ(Uncompress(badCrc, out), Z_DATA_ERROR);

  Bytes otherLength = kAbcCompressed;
  otherLength[19] = 0x7F;
  otherLength[22] = 0x10;
  EXPECT_EQ(Uncompress(otherLength, out), Z_OK);
  EXPECT_EQ(out, kAbc);
}

TEST(MemUncompress, RefusesMalformedHeadersAndDeflateData) {
  Bytes out;
  const auto withByte = [](std::size_t at, std::uint8_t value) {
    Bytes member = kAbcCompressed;
    member[at] = value;
    return member;
  };
  EXPECT_EQ(Uncompress(withByte(0, 0x1E), out), Z_DATA_ERROR);
  EXPECT_EQ(Uncompress(withByte(1, 0x8C), out), Z_DATA_ERROR);
  EXPECT_EQ(Uncompress(withByte(2, 0x07), out), Z_DATA_ERROR);
  EXPECT_EQ(Uncompress(withByte(3, 0x20), out), Z_DATA_ERROR);
  // FEXTRA announcing more bytes than the block holds.
  EXPECT_EQ(Uncompress(withByte(3, 0x04), out), Z_DATA_ERROR);
  // FNAME with no terminating zero byte anywhere.
  Bytes unterminated = withByte(3, 0x08);
  for (std::size_t i = 10; i < unterminated.size(); ++i) unterminated[i] |= 0x01;
  EXPECT_EQ(Uncompress(unterminated, out), Z_DATA_ERROR);
  // Block type 3 does not exist.
  EXPECT_EQ(Uncompress(withByte(10, 0x07), out), Z_DATA_ERROR);
}

TEST(MemUncompress, SkipsEveryOptionalHeaderField) {
  const Bytes text = SampleText(3000);
  const Bytes plain = Compress(text);
  Bytes member(plain.begin(), plain.begin() + 10);
  member[3] = 0x02 | 0x04 | 0x08 | 0x10;
  member.insert(member.end(), {0x05, 0x00, 'A', 'B', 0x01, 0x00, 0xFF});
  for (char c : std::string_view("order.txt")) member.push_back(static_cast<std::uint8_t>(c));
  member.push_back(0);
  for (char c : std::string_view("a comment")) member.push_back(static_cast<std::uint8_t>(c));
  member.push_back(0);
  member.push_back(0x12);
  member.push_back(0x34);
  member.insert(member.end(), plain.begin() + 10, plain.end());
  Bytes out;
  EXPECT_EQ(Uncompress(member, out), Z_OK);
  EXPECT_EQ(out, text);
}

TEST(MemUncompress, AcceptsAMemberWrittenByTheGzipTool) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("quorvel-gzip-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto file = dir / "statement.txt";
  const Bytes text = SampleText(50000);
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(text.data()), static_cast<std::streamsize>(text.size()));

  const std::string command = "gzip -c '" + file.string() + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  Bytes member;
  std::uint8_t piece[4096];
  for (std::size_t n; (n = std::fread(piece, 1, sizeof piece, pipe)) > 0;) {
    member.insert(member.end(), piece, piece + n);
  }
  const int status = ::pclose(pipe);
  std::filesystem::remove_all(dir);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_GT(member.size(), 18u);
  ASSERT_NE(member[3] & 0x08, 0) << "gzip did not record the file name";

  Bytes out;
  EXPECT_EQ(Uncompress(member, out), Z_OK);
  EXPECT_EQ(out, text);
}

TEST(MemUncompress, ReadsATrailerSplitAcrossInputChunks) {
  // Random input compresses to stored blocks, so the member's length follows the
  // input's; collect members whose total length puts the chunk boundary inside or
  // right after the trailer.
  std::vector<bool> seen(8, false);
  for (std::size_t length = 16300; length <= 16392; ++length) {
    const Bytes input = RandomBytes(length, static_cast<unsigned>(length));
    const Bytes member = Compress(input);
    if (member.size() < 16385 || member.size() > 16392) continue;
    seen[member.size() - 16385] = true;
    Bytes out;
    EXPECT_EQ(Uncompress(member, out), Z_OK) << member.size();
    EXPECT_EQ(out, input) << member.size();
  }
  for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_TRUE(seen[i]) << "length " << 16385 + i;
}

TEST(MemUncompress, ReadsBlocksWhoseTrailerFollowsAnyChunkOffset) {
  // The same member, padded by a FEXTRA field to every total length around the
  // chunk boundary.
  const Bytes text = SampleText(600);
  const Bytes plain = Compress(text);
  const std::size_t fixed = plain.size() + 2;
  for (std::size_t total = 16380; total <= 16400; ++total) {
    Bytes member(plain.begin(), plain.begin() + 10);
    member[3] = 0x04;
    const std::size_t extra = total - fixed;
    member.push_back(static_cast<std::uint8_t>(extra & 0xFF));
    member.push_back(static_cast<std::uint8_t>(extra >> 8));
    member.resize(member.size() + extra, 0x5A);
    member.insert(member.end(), plain.begin() + 10, plain.end());
    ASSERT_EQ(member.size(), total);
    Bytes out;
    EXPECT_EQ(Uncompress(member, out), Z_OK) << total;
    EXPECT_EQ(out, text) << total;
  }
}

TEST(RoundTrip, RestoresRandomBytesAndText) {
  for (const Bytes& input : {RandomBytes(1 << 20, 42), SampleText(1 << 20), RandomBytes(16385, 1),
                             RandomBytes(16384, 2), Bytes(1, 0x00)}) {
    const Bytes member = Compress(input);
    Bytes out;
    ASSERT_EQ(Uncompress(member, out), Z_OK) << input.size();
    EXPECT_EQ(out, input) << input.size();
  }
  EXPECT_LT(Compress(SampleText(1 << 20)).size(), (1u << 20) / 4);
}

TEST(CompressIfLarge, CompressesFromTheThresholdOn) {
  Bytes below = SampleText(51199);
  EXPECT_FALSE(CompressIfLarge(below, 51200));
  EXPECT_EQ(below, SampleText(51199));

  Bytes at = SampleText(51200);
  EXPECT_TRUE(CompressIfLarge(at, 51200));
  EXPECT_EQ(ZlibGunzip(at), SampleText(51200));

  Bytes empty;
  EXPECT_FALSE(CompressIfLarge(empty, 0));
  EXPECT_TRUE(empty.empty());
}

TEST(CompressIfLarge, ReplacesEvenWhenTheCompressedFormIsLarger) {
  const Bytes random = RandomBytes(60000, 3);
  Bytes buffer = random;
  EXPECT_TRUE(CompressIfLarge(buffer, 51200));
  EXPECT_GT(buffer.size(), random.size());
  EXPECT_EQ(ZlibGunzip(buffer), random);
}

TEST(UncompressIfCompressed, RestoresCompressedBlocksOfAnyRatio) {
  for (const Bytes& input : {kAbc, SampleText(300000), RandomBytes(70000, 9)}) {
    Bytes buffer = Compress(input);
    EXPECT_TRUE(UncompressIfCompressed(buffer)) << input.size();
    EXPECT_EQ(buffer, input);
  }
}

TEST(UncompressIfCompressed, PassesOtherBytesOnUnchanged) {
  Bytes badCrc = kAbcCompressed;
  badCrc[16] ^= 0x40;
  const Bytes der = {0x30, 0x82, 0x00, 0x20, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7,
                     0x0D, 0x01, 0x07, 0x02, 0xA0, 0x13, 0x30, 0x11, 0x02, 0x01};
  for (const Bytes& input : {der, badCrc, Bytes{}, Bytes(18, 0x1F)}) {
    Bytes buffer = input;
    EXPECT_FALSE(UncompressIfCompressed(buffer));
    EXPECT_EQ(buffer, input);
  }
}

// A member of zeros built without producing the zeros: a flushed deflate segment
// that only refers back to zeros can be repeated any number of times.
Bytes ZeroBomb(std::size_t segments) {
  constexpr std::size_t kLead = 32768;
  constexpr std::size_t kSegment = std::size_t{16} << 20;
  const Bytes zeros(1 << 20, 0);
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes scratch(1 << 20);
  const auto run = [&](std::size_t length, int flush) {
    Bytes produced;
    for (std::size_t fed = 0;;) {
      const std::size_t step = std::min(length - fed, zeros.size());
      stream.next_in = const_cast<Bytef*>(zeros.data());
      stream.avail_in = static_cast<uInt>(step);
      fed += step;
      const int mode = fed == length ? flush : Z_NO_FLUSH;
      do {
        stream.next_out = scratch.data();
        stream.avail_out = static_cast<uInt>(scratch.size());
        deflate(&stream, mode);
        produced.insert(produced.end(), scratch.data(),
                        scratch.data() + (scratch.size() - stream.avail_out));
      } while (stream.avail_out == 0);
      if (fed == length) return produced;
    }
  };
  const Bytes lead = run(kLead, Z_SYNC_FLUSH);
  const Bytes segment = run(kSegment, Z_SYNC_FLUSH);
  const Bytes finish = run(0, Z_FINISH);
  deflateEnd(&stream);

  Bytes member(kAbcCompressed.begin(), kAbcCompressed.begin() + 10);
  member.insert(member.end(), lead.begin(), lead.end());
  for (std::size_t i = 0; i < segments; ++i)
    member.insert(member.end(), segment.begin(), segment.end());
  member.insert(member.end(), finish.begin(), finish.end());

  const uLong segmentCrc = crc32(crc32(0, nullptr, 0), zeros.data(), 1 << 20);
  uLong zerosCrc = segmentCrc;
  for (int i = 1; i < 16; ++i) zerosCrc = crc32_combine(zerosCrc, segmentCrc, 1 << 20);
  uLong crc = crc32(crc32(0, nullptr, 0), zeros.data(), kLead);
  for (std::size_t i = 0; i < segments; ++i) {
    crc = crc32_combine(crc, zerosCrc, static_cast<z_off_t>(kSegment));
  }
  const std::uint64_t total = kLead + segments * kSegment;
  for (int i = 0; i < 4; ++i) member.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
  for (int i = 0; i < 4; ++i) member.push_back(static_cast<std::uint8_t>(total >> (8 * i)));
  return member;
}

TEST(UncompressIfCompressed, RefusesBlocksThatWouldInflateBeyondTheBound) {
  // Deflate cannot expand more than about 1032 times, so the densest block of at
  // most 1 MiB inflates to about 1 GiB; ten times that needs a block of about 10 MiB.
  const Bytes dense = ZeroBomb(63);
  ASSERT_LE(dense.size(), std::size_t{1} << 20);
  const Bytes huge = ZeroBomb(640);
  for (const Bytes& bomb : {dense, huge}) {
    Bytes buffer = bomb;
    g_largestAllocation = 0;
    EXPECT_FALSE(UncompressIfCompressed(buffer));
    EXPECT_LE(g_largestAllocation, 2 * bomb.size());
    EXPECT_EQ(buffer, bomb);
  }
}

TEST(UncompressIfCompressed, AcceptsBlocksUpToTheBound) {
  // One segment of 16 MiB zeros: far above 2 x the block's length, well within the bound.
  Bytes buffer = ZeroBomb(1);
  EXPECT_TRUE(UncompressIfCompressed(buffer));
  EXPECT_EQ(buffer.size(), 32768u + (16u << 20));
  EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0), static_cast<long>(buffer.size()));
}

TEST(MemUncompress, StopsCountingWhereTheSizeNoLongerFitsAnInt) {
  const Bytes huge = ZeroBomb(640);
  int size = 0;
  EXPECT_EQ(mem_uncompress(huge.data(), static_cast<int>(huge.size()), nullptr, &size),
            Z_MEM_ERROR);
}

}  // namespace
}  // namespace quorvel::container
