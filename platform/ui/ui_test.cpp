#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/text/code_page.h"
#include "platform/ui/ui_none.h"
#include "platform/ui/ui_script.h"
#include "platform/ui/ui_services.h"
#include "tests/temporary_folder.h"

namespace quorvel::platform {
namespace {

using nlohmann::json;

class ScriptUiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    script_ = dir_ / "script.json";
    log_ = dir_ / "ui.log";
  }

  void WriteScript(const std::string& text) { std::ofstream(script_) << text; }

  std::vector<json> LogLines() {
    std::vector<json> lines;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
    return lines;
  }

  UiServices Ui() { return MakeScriptUiServices(script_, log_); }

  quorvel::testing::TemporaryFolder folder_{"quorvel-ui"};
  const std::filesystem::path& dir_ = folder_.path();
  std::filesystem::path script_;
  std::filesystem::path log_;
};

TEST_F(ScriptUiTest, AnswersDialogsInOrderAndLogsEachOne) {
  WriteScript(R"({"answers": [
      {"dialog": "open", "path": "/data/in.txt"},
      {"dialog": "open", "cancel": true},
      {"dialog": "save", "path": "/data/out.bin"},
      {"dialog": "save", "fail": true},
      {"dialog": "message", "button": "yes"}]})");
  UiServices ui = Ui();
  const OpenDialogRequest open{u"Open", u"*.*"};
  DialogResult result = ui.fileDialogs->ShowOpenDialog(open);
  EXPECT_EQ(result.outcome, DialogOutcome::kChosen);
  EXPECT_EQ(result.path, "/data/in.txt");
  EXPECT_EQ(ui.fileDialogs->ShowOpenDialog(open).outcome, DialogOutcome::kCancelled);

  const SaveDialogRequest save{u"Save", u"*.*", u"报表.txt", u""};
  result = ui.fileDialogs->ShowSaveDialog(save);
  EXPECT_EQ(result.outcome, DialogOutcome::kChosen);
  EXPECT_EQ(result.path, "/data/out.bin");
  EXPECT_EQ(ui.fileDialogs->ShowSaveDialog(save).outcome, DialogOutcome::kFailed);
  EXPECT_EQ(ui.messageBoxes->ShowMessageBox({u"Title", u"Proceed?", MessageBoxButtons::kYesNo}),
            MessageBoxAnswer::kYes);

  const std::vector<json> lines = LogLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], json({{"kind", "open"},
                            {"title", "Open"},
                            {"filter", "*.*"},
                            {"suggestedName", ""},
                            {"defaultExtension", ""},
                            {"answer", "chosen"},
                            {"path", "/data/in.txt"}}));
  EXPECT_EQ(lines[1]["answer"], "cancelled");
  EXPECT_EQ(lines[2]["kind"], "save");
  EXPECT_EQ(lines[2]["suggestedName"], "报表.txt");
  EXPECT_EQ(lines[3]["answer"], "failed");
  EXPECT_EQ(lines[4], json({{"kind", "message"},
                            {"title", "Title"},
                            {"text", "Proceed?"},
                            {"buttons", "yesno"},
                            {"answer", "yes"}}));
}

TEST_F(ScriptUiTest, AnExhaustedScriptCancelsAndDismisses) {
  WriteScript(R"({"answers": []})");
  UiServices ui = Ui();
  EXPECT_EQ(ui.fileDialogs->ShowOpenDialog({u"Open", u"*.*"}).outcome, DialogOutcome::kCancelled);
  EXPECT_EQ(ui.messageBoxes->ShowMessageBox({u"T", u"x", MessageBoxButtons::kOkCancel}),
            MessageBoxAnswer::kCancel);
  const std::vector<json> lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_FALSE(lines[0].contains("error"));
  EXPECT_EQ(lines[1]["answer"], "cancel");
}

TEST_F(ScriptUiTest, AnAnswerForAnotherKindOfDialogFailsTheDialog) {
  WriteScript(R"({"answers": [{"dialog": "save", "path": "/x"}, {"path": "/y"}]})");
  UiServices ui = Ui();
  EXPECT_EQ(ui.fileDialogs->ShowOpenDialog({u"Open", u"*.*"}).outcome, DialogOutcome::kFailed);
  // An answer without "dialog" fits any dialog.
  const DialogResult result = ui.fileDialogs->ShowOpenDialog({u"Open", u"*.*"});
  EXPECT_EQ(result.outcome, DialogOutcome::kChosen);
  EXPECT_EQ(result.path, "/y");
  const std::vector<json> lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(lines[0].contains("error"));
}

TEST_F(ScriptUiTest, SaveAppendsTheDefaultExtensionToANameWithoutOne) {
  WriteScript(R"({"answers": [{"path": "/d.x/report"}, {"path": "/d/report.cry"}]})");
  UiServices ui = Ui();
  const SaveDialogRequest request{u"Save", u"*.cry", u"", u"cry"};
  EXPECT_EQ(ui.fileDialogs->ShowSaveDialog(request).path, "/d.x/report.cry");
  EXPECT_EQ(ui.fileDialogs->ShowSaveDialog(request).path, "/d/report.cry");
  EXPECT_EQ(LogLines()[0]["defaultExtension"], "cry");
}

TEST_F(ScriptUiTest, ABrokenScriptFailsEveryDialogAndSaysWhy) {
  for (const std::string text : {"not json", R"({"answer": []})", R"({"answers": [1]})"}) {
    WriteScript(text);
    UiServices ui = Ui();
    EXPECT_EQ(ui.fileDialogs->ShowOpenDialog({u"Open", u"*.*"}).outcome, DialogOutcome::kFailed)
        << text;
  }
  UiServices missing = MakeScriptUiServices(dir_ / "absent.json", log_);
  EXPECT_EQ(missing.fileDialogs->ShowSaveDialog({u"Save", u"*.*", u"", u""}).outcome,
            DialogOutcome::kFailed);
  const std::vector<json> lines = LogLines();
  ASSERT_EQ(lines.size(), 4u);
  for (const json& line : lines) EXPECT_TRUE(line.contains("error"));
}

TEST_F(ScriptUiTest, AnswersWithoutAnOutcomeAndUnofferedButtonsAreFaults) {
  WriteScript(R"({"answers": [{"dialog": "open"}, {"button": "yes"}]})");
  UiServices ui = Ui();
  EXPECT_EQ(ui.fileDialogs->ShowOpenDialog({u"Open", u"*.*"}).outcome, DialogOutcome::kFailed);
  EXPECT_EQ(ui.messageBoxes->ShowMessageBox({u"T", u"x", MessageBoxButtons::kOkCancel}),
            MessageBoxAnswer::kCancel);
  const std::vector<json> lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(lines[0].contains("error"));
  EXPECT_TRUE(lines[1].contains("error"));
}

// The answer a question gets, which the script and none UIs give at once.
std::optional<OriginApproval> Ask(OriginApprovals& approvals, std::u16string_view origin) {
  std::optional<OriginApproval> answer;
  approvals.AskOriginApproval(origin, [&](OriginApproval given) {
    EXPECT_FALSE(answer) << "answered twice";
    answer = given;
  });
  return answer;
}

TEST_F(ScriptUiTest, OriginApprovalsTakeTheirAnswersAndDenyOtherwise) {
  WriteScript(R"({"answers": [
      {"dialog": "approval", "answer": "once"},
      {"dialog": "approval", "answer": "always"},
      {"dialog": "approval", "answer": "deny"},
      {"dialog": "approval", "answer": "yes"},
      {"dialog": "open", "path": "/x"}]})");
  UiServices ui = Ui();
  const OriginApproval expected[] = {OriginApproval::kAllowOnce, OriginApproval::kAlways,
                                     OriginApproval::kDeny,      OriginApproval::kDismissed,
                                     OriginApproval::kDismissed, OriginApproval::kDismissed};
  for (OriginApproval approval : expected) {
    EXPECT_EQ(Ask(*ui.originApprovals, u"https://bank.example"), approval);
  }
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0]["text"],
            "是否允许 https://bank.example 使用您的证书签名？\n"
            "Allow https://bank.example to use your certificates for signing?");
  EXPECT_EQ(lines[1]["answer"], "always");
  EXPECT_TRUE(lines[3].contains("error"));   // not a valid answer
  EXPECT_TRUE(lines[4].contains("error"));   // an answer for another dialog
  EXPECT_FALSE(lines[5].contains("error"));  // the script ran out
  EXPECT_EQ(Ask(*MakeNoneUiServices().originApprovals, u"https://bank.example"),
            OriginApproval::kDismissed);
}

// Dialogs of different kinds can be open at once: each takes the next answer
// naming its kind, and answers naming none keep their order.
TEST_F(ScriptUiTest, OverlappingDialogsTakeTheAnswersNamingTheirKind) {
  WriteScript(R"({"answers": [
      {"dialog": "open", "path": "/first"},
      {"dialog": "approval", "answer": "always"},
      {"button": "ok"},
      {"dialog": "approval", "answer": "deny"}]})");
  UiServices ui = Ui();
  EXPECT_EQ(Ask(*ui.originApprovals, u"https://a.example"), OriginApproval::kAlways);
  EXPECT_EQ(ui.fileDialogs->ShowOpenDialog({u"Open", u"*.*"}).path, "/first");
  EXPECT_EQ(ui.messageBoxes->ShowMessageBox({u"T", u"x", MessageBoxButtons::kOk}),
            MessageBoxAnswer::kOk);
  EXPECT_EQ(Ask(*ui.originApprovals, u"https://b.example"), OriginApproval::kDeny);
  for (const json& line : LogLines()) EXPECT_FALSE(line.contains("error")) << line;
}

TEST(OriginApprovalText, ShowsInternationalisedNamesInUnicodeBesideTheirAsciiForm) {
  const struct {
    std::u16string_view origin;
    std::u16string_view shown;
  } cases[] = {
      {u"https://bank.example", u"https://bank.example"},
      {u"https://xn--fiqs8s.xn--0zwm56d:8443",
       u"https://中国.测试:8443 (https://xn--fiqs8s.xn--0zwm56d:8443)"},
      {u"https://xn--broken-.example", u"https://xn--broken-.example"},  // not valid Punycode
      {u"http://[::1]:27455", u"http://[::1]:27455"},
  };
  for (const auto& c : cases) {
    const std::u16string text = OriginApprovalText(c.origin);
    EXPECT_NE(text.find(u"Allow " + std::u16string(c.shown) + u" to use"), std::u16string::npos)
        << Utf16ToUtf8(text);
  }
}

TEST(ConsentText, ShowsWhatAPageCouldHideOrReorder) {
  const struct {
    std::u16string_view text;
    std::u16string_view shown;
  } cases[] = {
      {u"pay 100\nto Li", u"pay 100\nto Li"},
      {u"pay \u202E001 yap", u"pay <U+202E>001 yap"},  // right-to-left override
      {u"a\u200Bb\u2066c\u2069", u"a<U+200B>b<U+2066>c<U+2069>"},
      {u"x\ry\tz\x7F\x85", u"x<U+000D>y<U+0009>z<U+007F><U+0085>"},
      {u"转账 100.00 元", u"转账 100.00 元"},
      {u"ok\uFE0F\U000E0041\U0001F600", u"ok<U+FE0F><U+E0041>\U0001F600"},  // tags, not emoji
  };
  for (const auto& c : cases) EXPECT_EQ(VisibleText(c.text), c.shown) << Utf16ToUtf8(c.shown);

  ConsentRequest request;
  request.origin = u"https://xn--fiqs8s.xn--0zwm56d";
  request.action = ConsentAction::kRawSign;
  request.subject = u"CN=Zhang San\u202E";
  request.content.text = u"abc\nSHA-256: 1234";  // a line of the page's that mimics ours
  request.content.size = 5000;
  request.contentSha256 = "00ff";
  const std::u16string text = ConsentText(request);
  for (const std::u16string_view part :
       {std::u16string_view(u"https://中国.测试 (https://xn--fiqs8s.xn--0zwm56d)"),
        std::u16string_view(u"A raw signature can stand for anything"),
        std::u16string_view(u"CN=Zhang San<U+202E>"), std::u16string_view(u"5000 B"),
        std::u16string_view(u"first 4096 B shown"), std::u16string_view(u"\n  │ SHA-256: 1234\n"),
        std::u16string_view(u"\nSHA-256: 00ff")}) {
    EXPECT_NE(text.find(part), std::u16string::npos) << Utf16ToUtf8(std::u16string(part));
  }
  EXPECT_EQ(ConsentConfirmCaption(ConsentAction::kDecrypt), u"解密 Decrypt");

  // Thousands of form items cannot bury the ones that matter: the shown lines
  // are bounded and the rest counted.
  request.content = {};
  request.content.formatted = true;
  request.content.items.assign(5000, u"item=1");
  const std::u16string many = ConsentText(request);
  EXPECT_LT(many.size(), 2 * kConsentTextBytes);
  EXPECT_NE(many.find(u"Form items: 5000"), std::u16string::npos);
  EXPECT_NE(many.find(u" more\n"), std::u16string::npos);
}

TEST(NoneUi, CancelsEveryDialogAndDismissesMessageBoxes) {
  UiServices ui = MakeNoneUiServices();
  EXPECT_EQ(ui.fileDialogs->ShowOpenDialog({u"Open", u"*.*"}).outcome, DialogOutcome::kCancelled);
  EXPECT_EQ(ui.fileDialogs->ShowSaveDialog({u"Save", u"*.*", u"", u""}).outcome,
            DialogOutcome::kCancelled);
  EXPECT_EQ(ui.messageBoxes->ShowMessageBox({u"T", u"x", MessageBoxButtons::kOk}),
            MessageBoxAnswer::kOk);
  EXPECT_EQ(ui.messageBoxes->ShowMessageBox({u"T", u"x", MessageBoxButtons::kYesNo}),
            MessageBoxAnswer::kNo);
}

TEST_F(ScriptUiTest, TheEnvironmentSelectsTheImplementation) {
  WriteScript(R"({"answers": [{"path": "/chosen"}]})");
  ::setenv("QUORVEL_UI_SCRIPT", script_.c_str(), 1);
  ::setenv("QUORVEL_UI_LOG", log_.c_str(), 1);
  ::setenv("QUORVEL_UI", "script", 1);
  EXPECT_EQ(CurrentUiServices().fileDialogs->ShowOpenDialog({u"Open", u"*.*"}).path, "/chosen");
  // The same selection keeps the same services, and so the script's position.
  EXPECT_EQ(CurrentUiServices().fileDialogs->ShowOpenDialog({u"Open", u"*.*"}).outcome,
            DialogOutcome::kCancelled);

  for (const char* value : {"none", "qt", ""}) {
    ::setenv("QUORVEL_UI", value, 1);
    EXPECT_EQ(CurrentUiServices().fileDialogs->ShowOpenDialog({u"Open", u"*.*"}).outcome,
              DialogOutcome::kCancelled)
        << value;
  }
  ::unsetenv("QUORVEL_UI");
  EXPECT_EQ(CurrentUiServices().fileDialogs->ShowOpenDialog({u"Open", u"*.*"}).outcome,
            DialogOutcome::kCancelled);

  ::setenv("QUORVEL_UI", "qt", 1);
  int built = 0;
  SetDesktopUiFactory("qt", [&built] {
    ++built;
    return MakeNoneUiServices();
  });
  CurrentUiServices();
  EXPECT_EQ(built, 1);
  SetDesktopUiFactory("qt", nullptr);
  CurrentUiServices();
  EXPECT_EQ(built, 1);

  ::setenv("QUORVEL_UI", "none", 1);
  ::unsetenv("QUORVEL_UI_SCRIPT");
  ::unsetenv("QUORVEL_UI_LOG");
  EXPECT_EQ(LogLines().size(), 2u);  // only the script's dialogs were logged
}

}  // namespace
}  // namespace quorvel::platform
