#include "platform/text/code_page.h"

#include <gtest/gtest.h>

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

TEST(Utf8Boundary, ReplacesIllFormedInputInsteadOfFailing) {
  EXPECT_EQ(Utf8ToUtf16("a\xC3"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(u"x") + char16_t(0xDC00)), "x\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("签名 ✓ \xF0\x9F\x98\x80")), "签名 ✓ \xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace quorvel::platform
