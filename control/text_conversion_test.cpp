#include "control/text_conversion.h"

#include <gtest/gtest.h>

#include "control/error_numbers.h"

namespace quorvel::control {
namespace {

constexpr std::u16string_view kChinese = u"中文签名";

TEST(CodePages, ChineseTextGivesDifferentBytesIn936And65001) {
  std::string gbk;
  std::string utf8;
  ASSERT_EQ(ToCodePageBytes(936, kChinese, gbk), err::kOk);
  ASSERT_EQ(ToCodePageBytes(65001, kChinese, utf8), err::kOk);
  EXPECT_EQ(gbk, "\xD6\xD0\xCE\xC4\xC7\xA9\xC3\xFB");
  EXPECT_EQ(utf8, "\xE4\xB8\xAD\xE6\x96\x87\xE7\xAD\xBE\xE5\x90\x8D");
  std::u16string back;
  ASSERT_EQ(FromCodePageBytes(936, gbk, back), err::kOk);
  EXPECT_EQ(back, kChinese);
  ASSERT_EQ(FromCodePageBytes(65001, utf8, back), err::kOk);
  EXPECT_EQ(back, kChinese);
}

TEST(CodePages, CommonPlatformNumbersConvert) {
  for (uint32_t codePage : {936u, 54936u, 65001u, 1252u, 950u, 932u, 949u, 20127u, 1251u, 28591u}) {
    std::string bytes;
    EXPECT_EQ(ToCodePageBytes(codePage, u"Sign 123", bytes), err::kOk) << codePage;
    EXPECT_EQ(bytes, "Sign 123") << codePage;
  }
  std::string euro;
  ASSERT_EQ(ToCodePageBytes(1252, u"€", euro), err::kOk);
  EXPECT_EQ(euro, "\x80");
  std::string gb18030;
  ASSERT_EQ(ToCodePageBytes(54936, u"\U0001F600", gb18030), err::kOk);
  EXPECT_EQ(gb18030.size(), 4u);
}

TEST(CodePages, CodePageZeroUsesTheLocaleCharacterSet) {
  std::string bytes;
  ASSERT_EQ(ToCodePageBytes(0, u"plain ascii", bytes), err::kOk);
  EXPECT_EQ(bytes, "plain ascii");
  std::u16string text;
  ASSERT_EQ(FromCodePageBytes(0, "plain ascii", text), err::kOk);
  EXPECT_EQ(text, u"plain ascii");
}

TEST(CodePages, UnknownCodePageFailsBothWays) {
  std::string bytes;
  std::u16string text;
  EXPECT_EQ(ToCodePageBytes(12345, u"abc", bytes), err::kToCodePage);
  EXPECT_EQ(FromCodePageBytes(12345, "abc", text), err::kFromCodePage);
}

TEST(CodePages, UnrepresentableCharacterFailsInsteadOfBeingReplaced) {
  std::string bytes = "untouched";
  EXPECT_EQ(ToCodePageBytes(1252, u"签", bytes), err::kToCodePage);
  EXPECT_EQ(bytes, "untouched");
  EXPECT_EQ(ToCodePageBytes(20127, u"caf\u00E9", bytes), err::kToCodePage);
  // An unpaired surrogate is not text in any code page.
  EXPECT_EQ(ToCodePageBytes(65001, std::u16string(1, u'\xD800'), bytes), err::kToCodePage);
}

TEST(CodePages, InvalidBytesDecodeToReplacementCharacters) {
  std::u16string text;
  ASSERT_EQ(FromCodePageBytes(65001,
                              "a\xFF"
                              "b",
                              text),
            err::kOk);
  EXPECT_EQ(text, u"a\uFFFDb");
  ASSERT_EQ(FromCodePageBytes(936, "x\x81", text), err::kOk);
  EXPECT_EQ(text.front(), u'x');
  EXPECT_EQ(text.back(), u'\uFFFD');
}

TEST(CodePages, NoBytesIsAConversionFailure) {
  std::u16string text = u"kept";
  EXPECT_EQ(FromCodePageBytes(936, "", text), err::kFromCodePage);
  EXPECT_EQ(text, u"kept");
}

}  // namespace
}  // namespace quorvel::control
