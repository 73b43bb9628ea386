#include "platform/text/base64.h"

#include <array>
#include <cstring>

namespace quorvel::platform {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kLineLength = 64;
constexpr int8_t kSkip = -1;
constexpr int8_t kPad = -2;

constexpr std::array<int8_t, 256> MakeDecodeTable() {
  std::array<int8_t, 256> table{};
  table.fill(kSkip);
  for (size_t i = 0; i < kAlphabet.size(); ++i) {
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
  }
  table['='] = kPad;
  return table;
}
constexpr auto kDecodeTable = MakeDecodeTable();

// The two characters of every 12-bit half of a group, so that a group of three
// bytes is written with two lookups.
constexpr std::array<std::array<char, 2>, 4096> MakePairTable() {
  std::array<std::array<char, 2>, 4096> table{};
  for (size_t bits = 0; bits < table.size(); ++bits) {
    table[bits] = {kAlphabet[bits >> 6], kAlphabet[bits & 0x3F]};
  }
  return table;
}
constexpr auto kPairs = MakePairTable();

// The value of each character in each of the four positions of a group,
// already shifted into place; characters outside the alphabet, padding
// included, set a bit no alphabet character sets.
constexpr uint32_t kNotInAlphabet = 0x80000000;
constexpr std::array<std::array<uint32_t, 256>, 4> MakeShiftedTables() {
  std::array<std::array<uint32_t, 256>, 4> tables{};
  for (size_t position = 0; position < 4; ++position) {
    const unsigned shift = 18 - 6 * static_cast<unsigned>(position);
    for (size_t c = 0; c < 256; ++c) {
      const int8_t value = kDecodeTable[c];
      tables[position][c] = value < 0 ? kNotInAlphabet : uint32_t(value) << shift;
    }
  }
  return tables;
}
constexpr auto kShifted = MakeShiftedTables();

}  // namespace

size_t Base64EncodedSize(size_t length) {
  const size_t characters = (length + 2) / 3 * 4;
  if (characters == 0) return 1;
  return characters + (characters + kLineLength - 1) / kLineLength;
}

std::string Base64Encode(std::string_view bytes) {
  // Every full line codes 48 input bytes into 64 characters and a line feed;
  // the output is sized once and written in place.
  constexpr size_t kLineInput = kLineLength / 4 * 3;
  std::string out(Base64EncodedSize(bytes.size()), '\n');
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  char* cursor = out.data();
  auto group = [&](uint32_t bits, size_t characters) {
    cursor[0] = kAlphabet[bits >> 18];
    cursor[1] = kAlphabet[(bits >> 12) & 0x3F];
    cursor[2] = characters > 2 ? kAlphabet[(bits >> 6) & 0x3F] : '=';
    cursor[3] = characters > 3 ? kAlphabet[bits & 0x3F] : '=';
    cursor += 4;
  };
  size_t i = 0;
  // Whole lines first, two groups at a time from one eight-byte load (so the
  // last line read this way needs two bytes after it), then over the line feed
  // already in place.
  for (; i + kLineInput + 2 <= bytes.size(); i += kLineInput) {
    for (size_t g = 0; g < kLineInput; g += 6) {
      uint64_t word = 0;
      std::memcpy(&word, data + i + g, sizeof word);
      word = __builtin_bswap64(word);
      char* write = cursor;
      for (const unsigned shift : {52u, 40u, 28u, 16u}) {
        const auto& pair = kPairs[(word >> shift) & 0xFFF];
        write[0] = pair[0];
        write[1] = pair[1];
        write += 2;
      }
      cursor += 8;
    }
    ++cursor;
  }
  for (; i + kLineInput <= bytes.size(); i += kLineInput) {
    for (size_t g = 0; g < kLineInput; g += 3) {
      group(uint32_t{data[i + g]} << 16 | uint32_t{data[i + g + 1]} << 8 | data[i + g + 2], 4);
    }
    ++cursor;
  }
  for (; i + 3 <= bytes.size(); i += 3) {
    group(uint32_t{data[i]} << 16 | uint32_t{data[i + 1]} << 8 | data[i + 2], 4);
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    group(uint32_t{data[i]} << 16 | (rest == 2 ? uint32_t{data[i + 1]} << 8 : 0), rest + 1);
  }
  return out;
}

// Decodes into any contiguous container of bytes.
template <typename Bytes>
bool DecodeInto(std::string_view text, Bytes& bytes) {
  Bytes out(text.size() / 4 * 3 + 3, 0);
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  auto* cursor = out.data();
  std::array<int8_t, 4> group{};
  size_t filled = 0;
  size_t i = 0;
  while (i < size) {
    // Whole groups of four alphabet characters, the bulk of any text, are
    // decoded at once; anything else goes one character at a time below.
    if (filled == 0) {
      while (i + 4 <= size) {
        const uint32_t bits = kShifted[0][in[i]] | kShifted[1][in[i + 1]] | kShifted[2][in[i + 2]] |
                              kShifted[3][in[i + 3]];
        if ((bits & kNotInAlphabet) != 0) break;
        cursor[0] = static_cast<typename Bytes::value_type>(bits >> 16);
        cursor[1] = static_cast<typename Bytes::value_type>(bits >> 8);
        cursor[2] = static_cast<typename Bytes::value_type>(bits);
        cursor += 3;
        i += 4;
      }
      if (i == size) break;
    }
    const int8_t value = kDecodeTable[in[i++]];
    if (value == kSkip) continue;
    group[filled++] = value;
    if (filled < 4) continue;
    filled = 0;

    const bool pad2 = group[2] == kPad;
    const bool pad3 = group[3] == kPad;
    if (group[0] == kPad || group[1] == kPad || (pad2 && !pad3)) {
      bytes.clear();
      return true;
    }
    const uint32_t bits = uint32_t(group[0]) << 18 | uint32_t(group[1]) << 12 |
                          (pad2 ? 0 : uint32_t(group[2]) << 6) | (pad3 ? 0 : uint32_t(group[3]));
    *cursor++ = static_cast<typename Bytes::value_type>(bits >> 16);
    if (pad2) break;
    *cursor++ = static_cast<typename Bytes::value_type>((bits >> 8) & 0xFF);
    if (pad3) break;
    *cursor++ = static_cast<typename Bytes::value_type>(bits & 0xFF);
  }
  // A padded group ends decoding with `filled` reset, so only a group the
  // input never completed reaches this point with characters pending.
  if (filled != 0) {
    bytes.clear();
    return false;
  }
  out.resize(static_cast<size_t>(cursor - out.data()));
  bytes = std::move(out);
  return true;
}

bool Base64Decode(std::string_view text, std::string& bytes) {
  return DecodeInto(text, bytes);
}

bool Base64Decode(std::string_view text, std::vector<uint8_t>& bytes) {
  return DecodeInto(text, bytes);
}

}  // namespace quorvel::platform
