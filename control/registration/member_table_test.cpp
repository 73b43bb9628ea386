#include "control/registration/member_table.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace quorvel::registration {
namespace {

TEST(MemberTable, HasFiftyNineMembersWithUniqueDispatchIdentifiersPerKind) {
  const auto table = MemberTable();
  ASSERT_EQ(table.size(), 59u);
  std::set<std::pair<int32_t, MemberKind>> seen;
  std::set<int32_t> dispids;
  for (const MemberInfo& member : table) {
    EXPECT_TRUE(seen.insert({member.dispid, member.kind}).second) << member.name;
    dispids.insert(member.dispid);
  }
  EXPECT_FALSE(dispids.count(5));
  EXPECT_EQ(dispids.size(), 58u);
  EXPECT_EQ(*dispids.begin(), 1);
  EXPECT_EQ(*dispids.rbegin(), 59);
}

TEST(MemberTable, MaxCompSizeHasGetAndPutUnderOneIdentifier) {
  std::map<MemberKind, const MemberInfo*> byKind;
  for (const MemberInfo& member : MemberTable()) {
    if (member.name == "MaxCompSize") byKind[member.kind] = &member;
  }
  ASSERT_EQ(byKind.size(), 2u);
  EXPECT_EQ(byKind[MemberKind::kPropertyGet]->dispid, 4);
  EXPECT_EQ(byKind[MemberKind::kPropertyPut]->dispid, 4);
  EXPECT_EQ(byKind[MemberKind::kPropertyGet]->result, ValueType::kLong);
  EXPECT_EQ(byKind[MemberKind::kPropertyPut]->params.size(), 1u);
}

TEST(MemberTable, SampleRowsCarryTheirParametersAndResults) {
  auto find = [](std::string_view name) -> const MemberInfo& {
    for (const MemberInfo& member : MemberTable()) {
      if (member.name == name) return member;
    }
    throw std::runtime_error("missing member");
  };
  const MemberInfo& dialog = find("QVSetDialogPrompt");
  EXPECT_EQ(dialog.dispid, 53);
  ASSERT_EQ(dialog.params.size(), 8u);
  EXPECT_EQ(dialog.params[7].name, "Viewbutton");

  const MemberInfo& rawVerify = find("QVRawVerify");
  EXPECT_EQ(rawVerify.dispid, 26);
  ASSERT_EQ(rawVerify.params.size(), 3u);
  EXPECT_EQ(rawVerify.params[0].name, "signedMsg");
  EXPECT_EQ(rawVerify.params[2].name, "plainText");
  EXPECT_EQ(rawVerify.result, ValueType::kNone);

  EXPECT_EQ(find("IsCertExists").result, ValueType::kUnsignedLong);
  EXPECT_EQ(find("QVSetCodePage").params[0].type, ValueType::kUnsignedLong);
  EXPECT_EQ(find("QVGetSignerCertInfo").params[0].type, ValueType::kUnsignedLong);
  EXPECT_EQ(find("errorCode").dispid, 39);
  EXPECT_EQ(find("QVAdvanceDetachedVerify").dispid, 59);
  EXPECT_EQ(find("getVersion").resultName, "pVersion");
}

TEST(MemberTable, PropertiesSettersAndBase64MembersAreBound) {
  const std::set<std::string_view> expected{"DNspliter",
                                            "errMsg",
                                            "errorNum",
                                            "MaxCompSize",
                                            "QVServerMode",
                                            "getVersion",
                                            "QVBase64Decode",
                                            "QVBase64Encode",
                                            "QVSetDigestArithmetic",
                                            "QVSetSymmetryArithmetic",
                                            "errorCode",
                                            "QVSetCodePage",
                                            "QVSetCopyRightInfo",
                                            "QVSetDialogPrompt"};
  for (const MemberInfo& member : MemberTable()) {
    if (expected.count(member.name)) {
      EXPECT_NE(member.binding, nullptr) << member.name;
    }
  }
}

}  // namespace
}  // namespace quorvel::registration
