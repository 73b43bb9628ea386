#include <gtest/gtest.h>

#include "control/control.h"
#include "control/error_numbers.h"

namespace quorvel::control {
namespace {

class CodingTest : public ::testing::Test {
 protected:
  CDrennicQuorvel control;
  std::u16string result = u"stale";
};

TEST_F(CodingTest, EncodesAndDecodesText) {
  ASSERT_EQ(control.QVBase64Encode(u"abc", result), Status::kOk);
  EXPECT_EQ(result, u"YWJj\n");
  ASSERT_EQ(control.QVBase64Decode(result, result), Status::kOk);
  EXPECT_EQ(result, u"abc");
}

TEST_F(CodingTest, EncodesTheCodePageBytesOfTheText) {
  ASSERT_EQ(control.QVBase64Encode(u"中文", result), Status::kOk);
  EXPECT_EQ(result, u"1tDOxA==\n");  // D6 D0 CE C4 in code page 936
  control.QVSetCodePage(65001);
  ASSERT_EQ(control.QVBase64Encode(u"中文", result), Status::kOk);
  EXPECT_EQ(result, u"5Lit5paH\n");
  ASSERT_EQ(control.QVBase64Decode(u"5Lit5paH", result), Status::kOk);
  EXPECT_EQ(result, u"中文");
  control.QVSetCodePage(52936);
  ASSERT_EQ(control.QVBase64Encode(u"a", result), Status::kOk);
  EXPECT_EQ(result, u"YQ==\n");  // HZ: plain ASCII, no shift sequences
  ASSERT_EQ(control.QVBase64Encode(u"中", result), Status::kOk);
  EXPECT_EQ(result, u"fntWUH59\n");  // ~{VP~}
}

TEST_F(CodingTest, EmptyInputSetsOnlyTheNumberAndKeepsTheEarlierMessage) {
  ASSERT_EQ(control.QVBase64Decode(u"YWJ", result), Status::kFalse);
  EXPECT_EQ(control.Inspect().errMsg, u"Base64解码失败");

  EXPECT_EQ(control.QVBase64Encode(u"", result), Status::kFalse);
  EXPECT_EQ(result, u"");
  EXPECT_EQ(control.Inspect().errorNum, ToInt(err::kEmptyInput));
  EXPECT_EQ(control.Inspect().errMsg, u"Base64解码失败");

  EXPECT_EQ(control.QVBase64Decode(u"", result), Status::kFalse);
  EXPECT_EQ(control.Inspect().errorNum, ToInt(err::kEmptyInput));
  EXPECT_EQ(control.Inspect().errMsg, u"Base64解码失败");
}

TEST_F(CodingTest, DecodeFailuresReportTheirNumbers) {
  EXPECT_EQ(control.QVBase64Decode(u"YWJ", result), Status::kFalse);
  EXPECT_EQ(result, u"");
  EXPECT_EQ(control.Inspect().errorNum, ToInt(err::kBase64Decode));

  // Padding that yields no bytes fails at the conversion of nothing.
  EXPECT_EQ(control.QVBase64Decode(u"=AAA", result), Status::kFalse);
  EXPECT_EQ(control.Inspect().errorNum, ToInt(err::kFromCodePage));
  EXPECT_EQ(control.Inspect().errMsg, u"字符编码转换失败");

  ASSERT_EQ(control.QVBase64Decode(u"YQ==YWJj", result), Status::kOk);
  EXPECT_EQ(result, u"a");
  EXPECT_EQ(control.Inspect().errMsg, u"");
}

TEST_F(CodingTest, UnknownOrUnsuitableCodePageFailsTheConversion) {
  control.QVSetCodePage(4711);
  EXPECT_EQ(control.QVBase64Encode(u"abc", result), Status::kFalse);
  EXPECT_EQ(control.Inspect().errorNum, ToInt(err::kToCodePage));
  EXPECT_EQ(control.Inspect().errMsg, u"字符编码转换失败");

  control.QVSetCodePage(1252);
  EXPECT_EQ(control.QVBase64Encode(u"签名", result), Status::kFalse);
  EXPECT_EQ(control.Inspect().errorNum, ToInt(err::kToCodePage));

  control.QVSetCodePage(0);
  ASSERT_EQ(control.QVBase64Encode(u"abc", result), Status::kOk);
  EXPECT_EQ(result, u"YWJj\n");
}

TEST_F(CodingTest, LongOutputIsBrokenIntoLines) {
  ASSERT_EQ(control.QVBase64Encode(std::u16string(49, u'x'), result), Status::kOk);
  ASSERT_EQ(result.size(), 70u);
  EXPECT_EQ(result[64], u'\n');
  EXPECT_EQ(result.back(), u'\n');
}

}  // namespace
}  // namespace quorvel::control
