#include "platform/text/code_page.h"

#include <gtest/gtest.h>

#include "platform/text/icu_converter.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <utility>

namespace quorvel::platform {
namespace {

TEST(CodePageTable, EveryListedNumberHasAWorkingConverter) {
  for (uint32_t codePage : {437u,   850u,   852u,   866u,   874u,   932u,   936u,   949u,   950u,
                            1250u,  1251u,  1252u,  1253u,  1254u,  1255u,  1256u,  1257u,  1258u,
                            10000u, 20127u, 20866u, 20932u, 20936u, 21866u, 28591u, 28592u, 28595u,
                            28605u, 50220u, 51932u, 51949u, 52936u, 54936u, 65001u}) {
    std::string bytes;
    EXPECT_EQ(EncodeToCodePage(codePage, u"A", bytes), CodePageStatus::kOk) << codePage;
  }
  EXPECT_EQ(ConverterNameForCodePage(99999), "");
}

TEST(CodePageTable, AsciiPassesThroughExactlyAsItsConverterWouldPassIt) {
  std::u16string text;
  for (char16_t c = 0; c < 0x80; ++c) text.push_back(c);
  const std::string bytes(text.begin(), text.end());
  int checked = 0;
  for (uint32_t codePage = 1; codePage <= 0xFFFF; ++codePage) {
    if (!KeepsAsciiAsIs(codePage)) continue;
    ++checked;
    const std::string name = ConverterNameForCodePage(codePage);
    std::string encoded;
    std::string converterEncoded;
    ASSERT_EQ(EncodeToCodePage(codePage, text, encoded), CodePageStatus::kOk) << codePage;
    ASSERT_EQ(EncodeWithConverter(name, text, converterEncoded), CodePageStatus::kOk) << codePage;
    EXPECT_EQ(encoded, converterEncoded) << codePage;
    std::u16string decoded;
    std::u16string converterDecoded;
    ASSERT_EQ(DecodeFromCodePage(codePage, bytes, decoded), CodePageStatus::kOk) << codePage;
    ASSERT_EQ(DecodeWithConverter(name, bytes, converterDecoded), CodePageStatus::kOk) << codePage;
    EXPECT_EQ(decoded, converterDecoded) << codePage;
  }
  EXPECT_GT(checked, 0);
}

TEST(Utf8Boundary, ReplacesIllFormedInputInsteadOfFailing) {
  EXPECT_EQ(Utf8ToUtf16("a\xC3"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(u"x") + char16_t(0xDC00)), "x\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("签名 ✓ \xF0\x9F\x98\x80")), "签名 ✓ \xF0\x9F\x98\x80");
}

constexpr uint32_t kHz = 52936;

TEST(HzCodePage, WrapsEachGb2312RunAndEscapesTildes) {
  struct Case {
    std::u16string text;
    std::string bytes;
  };
  const Case cases[] = {
      {u"a", "a"},
      {u"\u4E2D", "~{VP~}"},
      {u"a\u4E2Db", "a~{VP~}b"},
      {u"~", "~~"},
      {u"\u4E2D\u6587~\u4E2D", "~{VPND~}~~~{VP~}"},
      {u"", ""},
  };
  for (const auto& c : cases) {
    std::string bytes;
    ASSERT_EQ(EncodeToCodePage(kHz, c.text, bytes), CodePageStatus::kOk) << c.bytes;
    EXPECT_EQ(bytes, c.bytes);
    std::u16string text;
    ASSERT_EQ(DecodeFromCodePage(kHz, bytes, text), CodePageStatus::kOk) << c.bytes;
    EXPECT_EQ(text, c.text) << c.bytes;
  }
}

TEST(HzCodePage, RefusesWhatGb2312CannotHold) {
  std::string bytes = "unchanged";
  EXPECT_EQ(EncodeToCodePage(kHz, u"a\uD55C", bytes), CodePageStatus::kUnmappable);
  EXPECT_EQ(EncodeToCodePage(kHz, u"\U0001F600", bytes), CodePageStatus::kUnmappable);
  EXPECT_EQ(bytes, "unchanged");
}

TEST(HzCodePage, DecodesOtherEncodersFormsAndReplacesWhatIsNotHz) {
  struct Case {
    std::string bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {"~{VP", u"\u4E2D"},            // run left open at the end
      {"~{VP\nx", u"\u4E2D\nx"},      // a line break ends the run
      {"ab~\ncd", u"abcd"},           // line continuation
      {"~{V", u"\uFFFD"},             // half a character
      {"~x", u"\uFFFDx"},             // unknown escape
      {"\xB0\xA1", u"\uFFFD\uFFFD"},  // 8-bit bytes are not HZ
      {"~{~}~{VP~}", u"\u4E2D"},      // empty run
  };
  for (const auto& c : cases) {
    std::u16string text;
    ASSERT_EQ(DecodeFromCodePage(kHz, c.bytes, text), CodePageStatus::kOk) << c.bytes;
    EXPECT_EQ(text, c.text) << c.bytes;
  }
}

// Double-byte code pages convert in one pass into a buffer sized beforehand;
// the result must be exactly what the converter gives when it measures
// first, for well-formed text and for every kind of broken byte sequence.
TEST(CodePageTable, DoubleBytePagesConvertAsTheConverterMeasuringFirstWould) {
  const auto measured = [](const char* name, std::string_view bytes) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(name, &status);
    ucnv_setToUCallBack(
        converter,
        [](const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
           UConverterCallbackReason reason, UErrorCode* error) {
          if (reason > UCNV_IRREGULAR) return;
          *error = U_ZERO_ERROR;
          const UChar unit = 0xFFFD;
          ucnv_cbToUWriteUChars(args, &unit, 1, 0, error);
        },
        nullptr, nullptr, nullptr, &status);
    const int32_t needed = ucnv_toUChars(converter, nullptr, 0, bytes.data(),
                                         static_cast<int32_t>(bytes.size()), &status);
    std::u16string text(static_cast<size_t>(needed), u'\0');
    status = U_ZERO_ERROR;
    ucnv_toUChars(converter, reinterpret_cast<UChar*>(text.data()), needed, bytes.data(),
                  static_cast<int32_t>(bytes.size()), &status);
    ucnv_close(converter);
    return text;
  };
  const std::u16string chinese = u"签名验证 ok 收款人张三，金额一百元整。";
  for (const auto& [codePage, name] : {std::pair<uint32_t, const char*>{936, "windows-936"},
                                       {949, "windows-949"},
                                       {950, "windows-950"},
                                       {932, "windows-932"}}) {
    std::string encoded;
    const std::u16string text = codePage == 936 ? chinese : u"abc xyz";
    ASSERT_EQ(EncodeToCodePage(codePage, text + u"\u3001", encoded), CodePageStatus::kOk)
        << codePage;
    std::u16string decoded;
    ASSERT_EQ(DecodeFromCodePage(codePage, encoded, decoded), CodePageStatus::kOk);
    EXPECT_EQ(decoded, text + u"\u3001") << codePage;
    // Long texts go through tables built from the converter's answers.
    std::string longText;
    std::u16string longDecoded;
    while (longText.size() < (std::size_t{64} << 10)) longText += encoded;
    for (const std::string broken : {"", "\x81", "a\x81", "\x81\x20", "\x80\xff",
                                     "\xff\xff\x81\x7f", "\xa4\x40\xa1", "\x81\x30\x81\x30"}) {
      for (const std::string& bytes : {broken, longText + broken, broken + longText}) {
        ASSERT_EQ(DecodeFromCodePage(codePage, bytes, decoded), CodePageStatus::kOk);
        EXPECT_EQ(decoded, measured(name, bytes)) << codePage << " " << bytes.size();
      }
    }
    ASSERT_EQ(DecodeFromCodePage(codePage, longText, longDecoded), CodePageStatus::kOk);
    std::string reencoded;
    ASSERT_EQ(EncodeToCodePage(codePage, longDecoded, reencoded), CodePageStatus::kOk);
    EXPECT_EQ(reencoded, longText) << codePage;
    EXPECT_EQ(EncodeToCodePage(codePage, longDecoded + u"\U0001F600", reencoded),
              CodePageStatus::kUnmappable);
  }
  std::string bytes;
  EXPECT_EQ(EncodeToCodePage(936, u"\U0001F600", bytes), CodePageStatus::kUnmappable);
}

}  // namespace
}  // namespace quorvel::platform
