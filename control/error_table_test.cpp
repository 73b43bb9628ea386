#include <gtest/gtest.h>

#include <set>

#include "control/error_numbers.h"

namespace quorvel::control {
namespace {

TEST(ErrorTable, HoldsEveryNumberOnceWithItsMessages) {
  std::set<int32_t> seen;
  for (const ErrorEntry& entry : ErrorTable()) {
    const int32_t number = ToInt(entry.number);
    EXPECT_TRUE(seen.insert(number).second) << number;
    EXPECT_FALSE(entry.messages.empty()) << number;
    EXPECT_FALSE(entry.meaning.empty()) << number;
  }
  for (int32_t number = -10000; number >= -10038; --number) {
    EXPECT_TRUE(seen.count(number)) << number;
  }
  for (int32_t number = -10051; number >= -10057; --number) {
    EXPECT_TRUE(seen.count(number)) << number;
  }
  EXPECT_EQ(seen.size(), 39u + 7u);
  EXPECT_FALSE(seen.count(-10039));
  EXPECT_FALSE(seen.count(-10050));
}

TEST(ErrorTable, MessagesMembersReportBelongToTheirNumbers) {
  auto has = [](ErrorNumber number, std::u16string_view text) {
    const ErrorEntry* entry = FindError(number);
    if (entry == nullptr) return false;
    for (auto message : entry->messages) {
      if (message == text) return true;
    }
    return false;
  };
  EXPECT_TRUE(has(err::kEmptyInput, u"源数据为空"));
  EXPECT_TRUE(has(err::kNoMemory, u"无可用内存空间"));
  EXPECT_TRUE(has(err::kTooLong, u"DN太长"));
  EXPECT_TRUE(has(err::kTooManyCommas, u"DN验证失败"));
  EXPECT_TRUE(has(err::kSeparatorLimit, u"DN分隔符超限"));
  EXPECT_TRUE(has(err::kNoSeparator, u"未设置DN分隔符"));
  EXPECT_TRUE(has(err::kToCodePage, u"字符编码转换失败"));
  EXPECT_TRUE(has(err::kFromCodePage, u"编码转换失败"));
  EXPECT_TRUE(has(err::kBase64Decode, u"Base64解码失败"));
  EXPECT_TRUE(has(err::kBadInfoType, u"类型错误，没有该类型的值"));
  EXPECT_EQ(FindError(err::kOk), nullptr);
  EXPECT_EQ(FindError(static_cast<ErrorNumber>(-10040)), nullptr);
}

}  // namespace
}  // namespace quorvel::control
