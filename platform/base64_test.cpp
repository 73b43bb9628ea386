#include "control/base64.h"

#include <gtest/gtest.h>

#include <random>

#include "control/error_numbers.h"

namespace quorvel::control {
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
  ASSERT_EQ(Base64Decode("YWJj\r\nYWJj", bytes), err::kOk);
  EXPECT_EQ(bytes, "abcabc");
  ASSERT_EQ(Base64Decode(" Y W\tJ j *", bytes), err::kOk);
  EXPECT_EQ(bytes, "abc");
}

TEST(Base64Decode, IncompleteFinalGroupFails) {
  std::string bytes = "stale";
  EXPECT_EQ(Base64Decode("YWJ", bytes), err::kBase64Decode);
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(Base64Decode("YWJjY", bytes), err::kBase64Decode);
  EXPECT_TRUE(bytes.empty());
}

TEST(Base64Decode, PaddedGroupEndsDecodingAndTheRestIsIgnored) {
  std::string bytes;
  ASSERT_EQ(Base64Decode("YQ==YWJj", bytes), err::kOk);
  EXPECT_EQ(bytes, "a");
  ASSERT_EQ(Base64Decode("YWI=garbage", bytes), err::kOk);
  EXPECT_EQ(bytes, "ab");
  ASSERT_EQ(Base64Decode("YWJjYQ==Y", bytes), err::kOk);
  EXPECT_EQ(bytes, "abca");
}

TEST(Base64Decode, PaddingInFirstSecondOrOnlyThirdPositionGivesNothing) {
  for (const char* text : {"YWJj=AAA", "YWJjA=AA", "YWJjAA=A", "=", "===="}) {
    std::string bytes = "stale";
    if (std::string_view(text).size() % 4 != 0) {
      EXPECT_EQ(Base64Decode(text, bytes), err::kBase64Decode) << text;
    } else {
      EXPECT_EQ(Base64Decode(text, bytes), err::kOk) << text;
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
    ASSERT_EQ(Base64Decode(Base64Encode(data), decoded), err::kOk);
    EXPECT_EQ(decoded, data) << length;
  }
}

}  // namespace
}  // namespace quorvel::control
