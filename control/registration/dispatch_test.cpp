#include "control/registration/dispatch.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorvel::registration {
namespace {

using control::Status;

class DispatchTest : public ::testing::Test {
 protected:
  InvokeResult Call(std::string_view name, std::vector<ScriptValue> args,
                    std::optional<MemberKind> kind = std::nullopt, CallerPolicy caller = {}) {
    const Resolution resolution = ResolveMember(name, kind, args.size());
    if (resolution.member == nullptr) return {resolution.hr, Status::kOk, {}};
    return Invoke(object, *resolution.member, args, caller);
  }
  control::CDrennicQuorvel object;
};

TEST_F(DispatchTest, ResolvesNamesWithoutRegardToCase) {
  const InvokeResult result = Call("qvbase64encode", {std::u16string(u"abc")});
  ASSERT_EQ(result.hr, hresult::kOk);
  EXPECT_EQ(result.status, Status::kOk);
  EXPECT_EQ(std::get<std::u16string>(result.value), u"YWJj\n");
  EXPECT_EQ(Call("NoSuchMember", {}).hr, hresult::kUnknownName);
}

TEST_F(DispatchTest, ChoosesGetOrPutForPropertiesByArgumentCount) {
  EXPECT_EQ(Call("MaxCompSize", {int64_t{100}}).hr, hresult::kOk);
  const InvokeResult get = Call("MaxCompSize", {});
  ASSERT_EQ(get.hr, hresult::kOk);
  EXPECT_EQ(std::get<int32_t>(get.value), 100);
  EXPECT_EQ(Call("errMsg", {std::u16string(u"x")}, MemberKind::kPropertyPut).hr,
            hresult::kMemberNotFound);
  EXPECT_EQ(Call("errMsg", {}, MemberKind::kMethod).hr, hresult::kMemberNotFound);
}

TEST_F(DispatchTest, PagesOnWebOriginsNameNoFilesAndLeaveServerModeAlone) {
  const CallerPolicy local{};
  const CallerPolicy web{.webOrigin = true};
  const CallerPolicy webWithFiles{.webOrigin = true, .localFiles = true};
  const ScriptValue path = std::u16string(u"/etc/passwd");
  struct Case {
    std::string_view member;
    std::optional<MemberKind> kind;
    std::vector<ScriptValue> args;
    CallerPolicy caller;
    int32_t hr;
  } cases[] = {
      {"QVServerMode", MemberKind::kPropertyPut, {int64_t{1}}, web, hresult::kAccessDenied},
      {"QVServerMode",
       MemberKind::kPropertyPut,
       {int64_t{1}},
       webWithFiles,
       hresult::kAccessDenied},
      {"QVServerMode", MemberKind::kPropertyPut, {int64_t{0}}, local, hresult::kOk},
      {"QVAddFile", std::nullopt, {path}, web, hresult::kAccessDenied},
      {"qvaddfileforencrypt", std::nullopt, {path}, web, hresult::kAccessDenied},
      {"QVAttachedVerifySignedFile", std::nullopt, {path}, web, hresult::kAccessDenied},
      {"QVAddFile", std::nullopt, {int64_t{7}}, web, hresult::kAccessDenied},  // the name "7"
      {"QVAddFile", std::nullopt, {std::u16string()}, web, hresult::kOk},
      {"QVAddFile", std::nullopt, {std::monostate{}}, web, hresult::kOk},
      {"QVAddFile", std::nullopt, {path}, webWithFiles, hresult::kOk},
      {"QVAddFile", std::nullopt, {path}, local, hresult::kOk},
      {"QVBase64Encode", std::nullopt, {path}, web, hresult::kOk},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Call(c.member, c.args, c.kind, c.caller).hr, c.hr)
        << c.member << " web " << c.caller.webOrigin << " files " << c.caller.localFiles;
  }
}

TEST_F(DispatchTest, ResolvesByDispatchIdentifier) {
  const Resolution put = ResolveMember(4, MemberKind::kPropertyPut, 1);
  ASSERT_NE(put.member, nullptr);
  EXPECT_EQ(put.member->name, "MaxCompSize");
  EXPECT_EQ(ResolveMember(5, std::nullopt, 0).hr, hresult::kMemberNotFound);
  EXPECT_EQ(ResolveMember(13, std::nullopt, 1).member->name, "QVBase64Encode");
}

TEST_F(DispatchTest, WrongArgumentCountIsRefusedBeforeTheMemberRuns) {
  EXPECT_EQ(Call("QVBase64Encode", {}).hr, hresult::kBadParamCount);
  EXPECT_EQ(Call("QVBase64Encode", {std::u16string(u"a"), std::u16string(u"b")}).hr,
            hresult::kBadParamCount);
  EXPECT_EQ(Call("QVSetDialogPrompt", std::vector<ScriptValue>(7, std::u16string(u"x"))).hr,
            hresult::kBadParamCount);
}

TEST_F(DispatchTest, ConvertsArgumentsToDeclaredTypes) {
  // Numbers become their decimal text, null the empty string.
  InvokeResult result = Call("QVBase64Encode", {int64_t{123}});
  EXPECT_EQ(std::get<std::u16string>(result.value), u"MTIz\n");
  result = Call("QVBase64Encode", {std::monostate{}});
  EXPECT_EQ(result.status, Status::kFalse);
  EXPECT_EQ(object.Inspect().errorNum, -10001);

  // Long parameters take numbers and numeric strings.
  EXPECT_EQ(Call("MaxCompSize", {std::u16string(u" 777 ")}, MemberKind::kPropertyPut).hr,
            hresult::kOk);
  EXPECT_EQ(object.Inspect().MaxCompSize, 777);
  EXPECT_EQ(Call("MaxCompSize", {2.5}, MemberKind::kPropertyPut).hr, hresult::kOk);
  EXPECT_EQ(object.Inspect().MaxCompSize, 2);
  EXPECT_EQ(Call("MaxCompSize", {std::u16string(u"12abc")}, MemberKind::kPropertyPut).hr,
            hresult::kTypeMismatch);
  EXPECT_EQ(Call("MaxCompSize", {true}, MemberKind::kPropertyPut).hr, hresult::kTypeMismatch);
  EXPECT_EQ(Call("MaxCompSize", {int64_t{1} << 40}, MemberKind::kPropertyPut).hr,
            hresult::kOverflow);
  EXPECT_EQ(Call("QVBase64Encode", {false}).hr, hresult::kTypeMismatch);

  // Unsigned parameters refuse negative numbers.
  EXPECT_EQ(Call("QVSetCodePage", {int64_t{-1}}).hr, hresult::kOverflow);
  EXPECT_EQ(Call("QVSetCodePage", {int64_t{65001}}).hr, hresult::kOk);
  EXPECT_EQ(object.Inspect().codePage, 65001u);
}

TEST_F(DispatchTest, EveryMemberOfTheTableIsImplemented) {
  size_t bound = 0;
  for (const MemberInfo& member : MemberTable()) {
    EXPECT_NE(member.binding, nullptr) << member.name;
    if (member.binding != nullptr) ++bound;
  }
  EXPECT_EQ(bound, MemberTable().size());
}

TEST_F(DispatchTest, EveryBoundMemberAcceptsArgumentsOfItsDeclaredTypes) {
  for (const MemberInfo& member : MemberTable()) {
    if (member.binding == nullptr) continue;
    std::vector<ScriptValue> args;
    for (const ParamInfo& param : member.params) {
      if (param.type == ValueType::kString) {
        args.emplace_back(std::u16string(u"1"));
      } else {
        args.emplace_back(int64_t{1});
      }
    }
    control::CDrennicQuorvel fresh;
    const InvokeResult result = Invoke(fresh, member, args);
    EXPECT_EQ(result.hr, hresult::kOk) << member.name;
    if (member.result == ValueType::kNone) {
      EXPECT_TRUE(std::holds_alternative<std::monostate>(result.value)) << member.name;
    } else {
      EXPECT_FALSE(std::holds_alternative<std::monostate>(result.value)) << member.name;
    }
  }
}

}  // namespace
}  // namespace quorvel::registration
