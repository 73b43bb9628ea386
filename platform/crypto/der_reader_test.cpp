#include "platform/crypto/der_reader.h"
#include "platform/crypto/der_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvel::platform::der {
namespace {

// Bytes from hex pairs, spaces ignored; "*N" repeats the byte before N times.
std::vector<uint8_t> Bytes(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < hex.size();) {
    if (hex[i] == ' ') {
      ++i;
    } else if (hex[i] == '*') {
      size_t used = 0;
      const int times = std::stoi(hex.substr(i + 1), &used);
      out.insert(out.end(), static_cast<size_t>(times - 1), out.back());
      i += 1 + used;
    } else {
      out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
      i += 2;
    }
  }
  return out;
}

TEST(DerReader, NextTakesOnlyDerElements) {
  struct Case {
    const char* what;
    std::string bytes;
    bool read;
    size_t contentLength = 0;
    size_t left = 0;
  };
  const Case cases[] = {
      {"short form", "02 01 05", true, 1},
      {"empty content", "04 00", true, 0},
      {"long form where needed", "04 81 80 00*128", true, 128},
      {"two length octets", "04 82 01 00 00*256", true, 256},
      {"trailing bytes stay for the next read", "02 01 05 FF", true, 1, 1},
      {"long form where the short would do", "04 81 05 00*5", false},
      {"leading zero length octet", "04 82 00 80 00*128", false},
      {"indefinite form", "30 80 04 01 61 00 00", false},
      {"more than four length octets", "04 85 00 00 00 00 01 00", false},
      {"content beyond the bytes", "04 02 01", false},
      {"length octets beyond the bytes", "04 82 01", false},
      {"high tag number", "1F 01 00", false},
      {"a single byte", "04", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<uint8_t> bytes = Bytes(c.bytes);
    Reader reader(bytes);
    Element element;
    ASSERT_EQ(reader.Next(element), c.read);
    if (!c.read) {
      EXPECT_EQ(reader.Rest().size(), bytes.size());  // nothing consumed
      continue;
    }
    EXPECT_EQ(element.tag, bytes[0]);
    EXPECT_EQ(element.content.size(), c.contentLength);
    EXPECT_EQ(element.encoding.size() + c.left, bytes.size());
    EXPECT_EQ(reader.Rest().size(), c.left);
  }
}

TEST(DerReader, TaggedReadsConsumeOnlyTheirTag) {
  const std::vector<uint8_t> bytes = Bytes("A0 03 02 01 02 30 03 02 01 07");
  Reader reader(bytes);
  Reader content;
  bool present = true;
  EXPECT_TRUE(reader.ReadOptional(0xA1, content, present));
  EXPECT_FALSE(present);
  EXPECT_FALSE(reader.ReadElement(kSequence, content));
  EXPECT_EQ(reader.Rest().size(), bytes.size());

  ASSERT_TRUE(reader.ReadOptional(kExplicit0, content, present));
  EXPECT_TRUE(present);
  uint64_t version = 0;
  ASSERT_TRUE(content.ReadUint64(version));
  EXPECT_EQ(version, 2u);
  EXPECT_TRUE(content.AtEnd());
  ASSERT_TRUE(reader.ReadElement(kSequence, content));
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_TRUE(reader.ReadOptional(kExplicit0, content, present));  // at the end: absent
  EXPECT_FALSE(present);

  const std::vector<uint8_t> broken = Bytes("A0 80 00 00");
  Reader malformed(broken);
  EXPECT_FALSE(malformed.ReadOptional(kExplicit0, content, present));
}

TEST(DerReader, ReadUint64TakesMinimalNonNegativeIntegers) {
  struct Case {
    const char* bytes;
    bool read;
    uint64_t value = 0;
  };
  const Case cases[] = {
      {"02 01 00", true, 0},
      {"02 01 7F", true, 127},
      {"02 02 00 80", true, 128},
      {"02 09 00 FF*8", true, UINT64_MAX},
      {"02 08 7F FF*7", true, INT64_MAX},
      {"02 01 80", false},       // negative
      {"02 02 FF FF", false},    // negative
      {"02 02 00 01", false},    // a zero octet it does not need
      {"02 00", false},          // no octets
      {"02 09 01 00*8", false},  // 2^64
      {"04 01 01", false},       // not an INTEGER
      {"02 81 01 01", false},    // not DER
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const std::vector<uint8_t> bytes = Bytes(c.bytes);
    Reader reader(bytes);
    uint64_t value = 42;
    ASSERT_EQ(reader.ReadUint64(value), c.read);
    EXPECT_EQ(value, c.read ? c.value : 42u);
    EXPECT_EQ(reader.AtEnd(), c.read);
  }
}

// What the writer makes, the reader takes back whole, at each length form's edges.
TEST(DerWriter, ElementsReadBackWithTheirContent) {
  for (const size_t length : {0, 1, 127, 128, 255, 256, 65535, 65536, 16777216}) {
    const std::vector<uint8_t> half(length / 2, 0x5A);
    const std::vector<uint8_t> rest(length - half.size(), 0xA5);
    const std::vector<uint8_t> element = Encode(kOctetString, {half, rest});
    Reader reader(element);
    der::Element read;
    ASSERT_TRUE(reader.ReadElement(kOctetString, read)) << length;
    EXPECT_TRUE(reader.AtEnd()) << length;
    ASSERT_EQ(read.content.size(), length);
    EXPECT_TRUE(std::equal(half.begin(), half.end(), read.content.begin())) << length;
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), read.content.begin() + half.size())) << length;
  }
}

TEST(DerReader, IndefiniteLengthsAreFoundAtAnyDepth) {
  struct Case {
    const char* bytes;
    bool indefinite;
  };
  const Case cases[] = {
      {"30 80 04 01 61 00 00", true},
      {"30 08 06 01 01 A0 80 04 00 00 00", true},  // inside a constructed element
      {"30 03 04 01 61 30 80 00 00", true},        // in a later element
      {"3F 81 01 80 00 00", true},                 // after a high tag number
      {"30 03 04 01 61", false},
      {"04 03 30 80 00", false},     // bytes inside a primitive's content
      {"30 81 03 04 01 61", false},  // BER's other lengths are not its business
      {"30 05 04 01", false},        // not elements at all: the decoder's
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(HasIndefiniteLength(Bytes(c.bytes)), c.indefinite);
  }
}

}  // namespace
}  // namespace quorvel::platform::der
