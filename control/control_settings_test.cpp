#include <gtest/gtest.h>

#include <string_view>

#include "control/control.h"
#include "control/error_numbers.h"

namespace quorvel::control {
namespace {

std::string_view FieldText(const std::array<char, kAlgorithmIdCapacity>& field) {
  return std::string_view(field.data());
}

class ControlTest : public ::testing::Test {
 protected:
  int32_t ErrorNum() {
    int32_t value = 1;
    EXPECT_EQ(control.get_errorNum(value), Status::kOk);
    return value;
  }
  std::u16string ErrMsg() {
    std::u16string value = u"sentinel";
    EXPECT_EQ(control.get_errMsg(value), Status::kOk);
    return value;
  }
  // Leaves a failure behind: an empty copyright text.
  void Fail() { ASSERT_EQ(control.QVSetCopyRightInfo(u""), Status::kFalse); }

  CDrennicQuorvel control;
};

TEST_F(ControlTest, StartsWithTheDefaults) {
  const ControlState& s = control.Inspect();
  EXPECT_EQ(s.MaxCompSize, 51200);
  EXPECT_EQ(s.errorNum, 0);
  EXPECT_EQ(s.errorCode, 0);
  EXPECT_EQ(s.DNspliter, u"|");
  EXPECT_TRUE(s.errMsg.empty());
  for (const auto& text : s.signerCertInfo) EXPECT_TRUE(text.empty());
  for (const auto& text : s.reciptCertInfo) EXPECT_TRUE(text.empty());
  EXPECT_TRUE(s.outgoingPlainText.empty());
  EXPECT_TRUE(s.receivedPlainText.empty());
  EXPECT_FALSE(s.copyRightInfo.empty());
  EXPECT_EQ(s.dlgtitle, u"请选择您要用的证书");
  EXPECT_EQ(s.dlgprompt, u"请在列表中选择证书");
  EXPECT_EQ(s.certsubject, u"主题");
  EXPECT_EQ(s.certissuer, u"颁发者");
  EXPECT_EQ(s.notafter, u"截止日期");
  EXPECT_EQ(s.OKbutton, u"确定");
  EXPECT_EQ(s.Cancelbutton, u"取消");
  EXPECT_EQ(s.Viewbutton, u"查看");
  EXPECT_EQ(FieldText(s.digestArithmeticId), "1.3.14.3.2.26");
  EXPECT_EQ(FieldText(s.symmetryArithmeticId), "1.2.840.113549.3.4");
  EXPECT_EQ(s.serverMode, 0);
  EXPECT_EQ(s.codePage, 936u);

  int32_t value = 0;
  EXPECT_EQ(control.get_MaxCompSize(value), Status::kOk);
  EXPECT_EQ(value, 51200);
  EXPECT_EQ(control.get_errorCode(value), Status::kOk);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(ErrorNum(), 0);
  EXPECT_EQ(ErrMsg(), u"");
  std::u16string version;
  EXPECT_EQ(control.getVersion(version), Status::kOk);
  EXPECT_EQ(version, u"2.0.59.4");
}

TEST_F(ControlTest, SeparatorOfSevenCharactersIsTakenEightIsRefused) {
  Fail();
  EXPECT_EQ(control.put_DNspliter(u"1234567"), Status::kOk);
  EXPECT_EQ(control.Inspect().DNspliter, u"1234567");
  // Storing a separator leaves the previous error state alone.
  EXPECT_EQ(ErrorNum(), ToInt(err::kEmptyInput));
  EXPECT_EQ(ErrMsg(), u"源数据为空");

  EXPECT_EQ(control.put_DNspliter(u"12345678"), Status::kFalse);
  EXPECT_EQ(control.Inspect().DNspliter, u"1234567");
  EXPECT_EQ(ErrorNum(), ToInt(err::kSeparatorLimit));
  EXPECT_EQ(ErrMsg(), u"源数据为空");

  EXPECT_EQ(control.put_DNspliter(u""), Status::kOk);
  EXPECT_EQ(control.Inspect().DNspliter, u"");
}

TEST_F(ControlTest, CompressionThresholdIgnoresZeroAndNegativeValues) {
  int32_t value = 0;
  EXPECT_EQ(control.put_MaxCompSize(0), Status::kOk);
  EXPECT_EQ(control.put_MaxCompSize(-5), Status::kOk);
  control.get_MaxCompSize(value);
  EXPECT_EQ(value, 51200);
  EXPECT_EQ(control.put_MaxCompSize(1), Status::kOk);
  control.get_MaxCompSize(value);
  EXPECT_EQ(value, 1);
}

TEST_F(ControlTest, ServerModeStoresOneForAnyNonZeroValueAndClearsTheError) {
  Fail();
  EXPECT_EQ(control.put_QVServerMode(5), Status::kOk);
  EXPECT_EQ(control.Inspect().serverMode, 1);
  EXPECT_EQ(ErrorNum(), 0);
  EXPECT_EQ(ErrMsg(), u"");
  EXPECT_EQ(control.put_QVServerMode(-1), Status::kOk);
  EXPECT_EQ(control.Inspect().serverMode, 1);
  EXPECT_EQ(control.put_QVServerMode(0), Status::kOk);
  EXPECT_EQ(control.Inspect().serverMode, 0);
}

TEST_F(ControlTest, CodePageIsStoredUncheckedWithoutTouchingTheErrorState) {
  Fail();
  EXPECT_EQ(control.QVSetCodePage(0), Status::kOk);
  EXPECT_EQ(control.Inspect().codePage, 0u);
  EXPECT_EQ(control.QVSetCodePage(424242), Status::kOk);
  EXPECT_EQ(control.Inspect().codePage, 424242u);
  EXPECT_EQ(ErrorNum(), ToInt(err::kEmptyInput));
}

TEST_F(ControlTest, AlgorithmIdentifiersAreStoredZeroFilled) {
  EXPECT_EQ(control.QVSetDigestArithmetic(u"2.16.840.1.101.3.4.2.1"), Status::kOk);
  EXPECT_EQ(FieldText(control.Inspect().digestArithmeticId), "2.16.840.1.101.3.4.2.1");
  EXPECT_EQ(control.QVSetDigestArithmetic(u"1.2"), Status::kOk);
  const auto& field = control.Inspect().digestArithmeticId;
  EXPECT_EQ(FieldText(field), "1.2");
  EXPECT_TRUE(std::all_of(field.begin() + 3, field.end(), [](char c) { return c == '\0'; }));

  EXPECT_EQ(control.QVSetSymmetryArithmetic(u"2.16.840.1.101.3.4.1.2"), Status::kOk);
  EXPECT_EQ(FieldText(control.Inspect().symmetryArithmeticId), "2.16.840.1.101.3.4.1.2");

  EXPECT_EQ(control.QVSetSymmetryArithmetic(u""), Status::kFalse);
  EXPECT_EQ(ErrorNum(), ToInt(err::kEmptyInput));
  EXPECT_EQ(ErrMsg(), u"源数据为空");
}

TEST_F(ControlTest, AlgorithmIdentifierLongerThanItsFieldIsRefusedWhole) {
  const std::u16string fits(127, u'1');
  EXPECT_EQ(control.QVSetDigestArithmetic(fits), Status::kOk);
  EXPECT_EQ(FieldText(control.Inspect().digestArithmeticId).size(), 127u);

  EXPECT_EQ(control.QVSetDigestArithmetic(std::u16string(128, u'2')), Status::kFalse);
  EXPECT_EQ(ErrorNum(), ToInt(err::kBadAlgorithm));
  EXPECT_EQ(ErrMsg(), u"无效的算法标识");
  EXPECT_EQ(FieldText(control.Inspect().digestArithmeticId), std::string(127, '1'));

  // 64 Chinese characters are 128 bytes in code page 936.
  EXPECT_EQ(control.QVSetSymmetryArithmetic(std::u16string(64, u'中')), Status::kFalse);
  EXPECT_EQ(ErrorNum(), ToInt(err::kBadAlgorithm));
  EXPECT_EQ(FieldText(control.Inspect().symmetryArithmeticId), "1.2.840.113549.3.4");
}

TEST_F(ControlTest, AlgorithmIdentifierThatTheCodePageCannotHoldFails) {
  control.QVSetCodePage(20127);
  EXPECT_EQ(control.QVSetDigestArithmetic(u"1.3.中"), Status::kFalse);
  EXPECT_EQ(ErrorNum(), ToInt(err::kToCodePage));
  EXPECT_EQ(ErrMsg(), u"字符编码转换失败");
}

TEST_F(ControlTest, CopyrightTextReplacesTheOldOneUnlessEmpty) {
  EXPECT_EQ(control.QVSetCopyRightInfo(u"Bank of Testing"), Status::kOk);
  EXPECT_EQ(control.Inspect().copyRightInfo, u"Bank of Testing");
  EXPECT_EQ(control.QVSetCopyRightInfo(u""), Status::kFalse);
  EXPECT_EQ(ErrorNum(), ToInt(err::kEmptyInput));
  EXPECT_EQ(ErrMsg(), u"源数据为空");
  EXPECT_EQ(control.Inspect().copyRightInfo, u"Bank of Testing");
}

TEST_F(ControlTest, DialogPromptReplacesTextsUpToTheFirstEmptyOne) {
  EXPECT_EQ(control.QVSetDialogPrompt(u"T", u"P", u"S", u"", u"N", u"O", u"C", u"V"),
            Status::kFalse);
  EXPECT_EQ(ErrorNum(), ToInt(err::kEmptyInput));
  EXPECT_EQ(ErrMsg(), u"源数据为空");
  const ControlState& s = control.Inspect();
  EXPECT_EQ(s.dlgtitle, u"T");
  EXPECT_EQ(s.dlgprompt, u"P");
  EXPECT_EQ(s.certsubject, u"S");
  EXPECT_EQ(s.certissuer, u"颁发者");
  EXPECT_EQ(s.notafter, u"截止日期");
  EXPECT_EQ(s.Viewbutton, u"查看");

  EXPECT_EQ(control.QVSetDialogPrompt(u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8"), Status::kOk);
  EXPECT_EQ(ErrorNum(), 0);
  EXPECT_EQ(s.certissuer, u"4");
  EXPECT_EQ(s.Viewbutton, u"8");
}

TEST_F(ControlTest, SuccessClearsTheMessageButKeepsErrorCode) {
  Fail();
  EXPECT_EQ(ErrMsg(), u"源数据为空");
  EXPECT_EQ(control.QVSetCopyRightInfo(u"ok"), Status::kOk);
  EXPECT_EQ(ErrorNum(), 0);
  EXPECT_EQ(ErrMsg(), u"");
  int32_t code = 1;
  control.get_errorCode(code);
  EXPECT_EQ(code, 0);
}

}  // namespace
}  // namespace quorvel::control
