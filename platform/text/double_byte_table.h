// Long texts in a double-byte code page (936, 949, 950, 932) convert through
// tables instead of ICU's converter, several times faster. The tables are
// ICU's own answers for every byte, byte pair and UTF-16 unit, asked once;
// anything they do not cover (a broken sequence, a character the code page
// lacks, a surrogate) leaves the whole text to the converter, so that the
// result is always the converter's.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::platform {

class DoubleByteTable {
 public:
  // Texts shorter than this convert through ICU directly.
  static constexpr size_t kMinLength = 64 * 1024;

  // The table of converter `name`, built on first use; null when the
  // converter is not a stateless one of one- and two-byte characters.
  static const DoubleByteTable* For(const std::string& name);

  // False, leaving `out` alone, when the text holds anything not covered.
  bool Decode(std::string_view bytes, std::u16string& out) const;
  bool Encode(std::u16string_view text, std::string& out) const;

 private:
  static constexpr char16_t kNone = 0xFFFF;
  bool Build(const std::string& name);

  std::array<bool, 256> lead_{};
  std::array<char16_t, 256> single_{};
  std::vector<char16_t> pairs_;    // by lead << 8 | trail
  std::vector<uint32_t> encoded_;  // by unit: bytes, with kOneByte or kTwoBytes
  static constexpr uint32_t kOneByte = 1u << 16;
  static constexpr uint32_t kTwoBytes = 1u << 17;
};

}  // namespace quorvel::platform
