#include "platform/text/base64.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

namespace quorvel::platform {
namespace {

TEST(Base64Encode, BreaksLinesAfterSixtyFourCharactersAndAlwaysEndsWithLineFeed) {
  EXPECT_EQ(Base64Encode("abc"), "YWJj\n");
  EXPECT_EQ(Base64Encode(""), "\n");
  EXPECT_EQ(Base64Encode("a"), "YQ==\n");
  EXPECT_EQ(Base64Encode("ab"), "YWI=\n");

  const std::string forty_eight(48, 'x');
  const std::string encoded48 = Base64Encode(forty_eight);
  ASSERT_EQ(encoded48.size(), 65u);
  EXPECT_EQ(encoded48.find('\n'), 64u);

  const std::string encoded49 = Base64Encode(std::string(49, 'x'));
  ASSERT_EQ(encoded49.size(), 70u);
  EXPECT_EQ(encoded49[64], '\n');
  EXPECT_EQ(encoded49.substr(65), "eA==\n");
}

TEST(Base64Encode, SizeMatchesOutputForEveryLengthAroundLineBoundaries) {
  for (size_t length = 0; length < 200; ++length) {
    const std::string encoded = Base64Encode(std::string(length, '\xA5'));
    EXPECT_EQ(encoded.size(), Base64EncodedSize(length)) << length;
    EXPECT_EQ(encoded.find("\r"), std::string::npos);
    EXPECT_EQ(encoded.back(), '\n');
  }
}

TEST(Base64Decode, SkipsCharactersOutsideTheAlphabet) {
  std::string bytes;
  ASSERT_TRUE(Base64Decode("YWJj\r\nYWJj", bytes));
  EXPECT_EQ(bytes, "abcabc");
  ASSERT_TRUE(Base64Decode(" Y W\tJ j *", bytes));
  EXPECT_EQ(bytes, "abc");
}

TEST(Base64Decode, IncompleteFinalGroupFails) {
  std::string bytes = "stale";
  EXPECT_FALSE(Base64Decode("YWJ", bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(Base64Decode("YWJjY", bytes));
  EXPECT_TRUE(bytes.empty());
}

TEST(Base64Decode, PaddedGroupEndsDecodingAndTheRestIsIgnored) {
  std::string bytes;
  ASSERT_TRUE(Base64Decode("YQ==YWJj", bytes));
  EXPECT_EQ(bytes, "a");
  ASSERT_TRUE(Base64Decode("YWI=garbage", bytes));
  EXPECT_EQ(bytes, "ab");
  ASSERT_TRUE(Base64Decode("YWJjYQ==Y", bytes));
  EXPECT_EQ(bytes, "abca");
}

TEST(Base64Decode, PaddingInFirstSecondOrOnlyThirdPositionGivesNothing) {
  for (const char* text : {"YWJj=AAA", "YWJjA=AA", "YWJjAA=A", "=", "===="}) {
    std::string bytes = "stale";
    if (std::string_view(text).size() % 4 != 0) {
      EXPECT_FALSE(Base64Decode(text, bytes)) << text;
    } else {
      EXPECT_TRUE(Base64Decode(text, bytes)) << text;
    }
    EXPECT_TRUE(bytes.empty()) << text;
  }
}

TEST(Base64Codec, RoundTripsArbitraryBytes) {
  std::mt19937 random(7);
  for (size_t length : {1u, 2u, 3u, 47u, 48u, 49u, 1000u, 65536u}) {
    std::string data(length, '\0');
    for (char& c : data) c = static_cast<char>(random());
    std::string decoded;
    ASSERT_TRUE(Base64Decode(Base64Encode(data), decoded));
    EXPECT_EQ(decoded, data) << length;
  }
}

// Character by character, as the codec is specified: the whole-group fast path
// must agree with it wherever junk, padding and line feeds fall.
std::optional<std::string> DecodeOneByOne(std::string_view text) {
  static const std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  int group[4];
  size_t filled = 0;
  for (const char c : text) {
    const size_t index = kAlphabet.find(c);
    if (index == std::string_view::npos && c != '=') continue;
    group[filled++] = c == '=' ? -1 : static_cast<int>(index);
    if (filled < 4) continue;
    filled = 0;
    if (group[0] < 0 || group[1] < 0 || (group[2] < 0 && group[3] >= 0)) return std::string();
    out.push_back(static_cast<char>(group[0] << 2 | group[1] >> 4));
    if (group[2] < 0) return out;
    out.push_back(static_cast<char>((group[1] & 0xF) << 4 | group[2] >> 2));
    if (group[3] < 0) return out;
    out.push_back(static_cast<char>((group[2] & 0x3) << 6 | group[3]));
  }
  if (filled != 0) return std::nullopt;
  return out;
}

TEST(Base64Decode, AgreesWithCharacterByCharacterDecodingOnMixedInput) {
  std::mt19937 random(11);
  const std::string_view pieces[] = {"QUJD", "YWJj", "\n", "=", "==", " ", "\r\n", "*", "Zg", "+/"};
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) text += pieces[random() % std::size(pieces)];
    const std::optional<std::string> expected = DecodeOneByOne(text);
    std::string bytes = "stale";
    ASSERT_EQ(Base64Decode(text, bytes), expected.has_value()) << text;
    EXPECT_EQ(bytes, expected.value_or("")) << text;
    // Decoding into a byte vector gives the same.
    std::vector<uint8_t> vector = {1, 2, 3};
    ASSERT_EQ(Base64Decode(text, vector), expected.has_value()) << text;
    EXPECT_EQ(std::string(vector.begin(), vector.end()), expected.value_or("")) << text;
  }
}

}  // namespace
}  // namespace quorvel::platform
