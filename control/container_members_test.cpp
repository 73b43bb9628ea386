#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "container/plain_text.h"
#include "control/container_messages.h"
#include "control/control.h"
#include "platform/storage/database.h"
#include "platform/storage/registry.h"
#include "platform/text/code_page.h"
#include "tests/temporary_home.h"

namespace quorvel::control {
namespace {

using nlohmann::json;

constexpr const char* kSettingsKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\"
    "{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}\\CtlSettings";
constexpr std::string_view kTwoItemsAndAFile =
    "0000002100000002ab00000003cde000000260000001800000005x.txthello";

class ContainerMembersTest : public platform::TemporaryHome {
 protected:
  void SetUp() override {
    TemporaryHome::SetUp();
    files_ = root_ / "files";
    std::filesystem::create_directories(files_);
    log_ = root_ / "ui.log";
  }
  void TearDown() override {
    ::setenv("QUORVEL_UI", "none", 1);
    ::unsetenv("QUORVEL_UI_SCRIPT");
    ::unsetenv("QUORVEL_UI_LOG");
    TemporaryHome::TearDown();
  }

  // Dialogs from now on are answered by `answers`, in order, and logged.
  void Script(const json& answers) {
    const std::filesystem::path script = root_ / ("script" + std::to_string(++scripts_) + ".json");
    std::ofstream(script) << json{{"answers", answers}}.dump();
    ::setenv("QUORVEL_UI_SCRIPT", script.c_str(), 1);
    ::setenv("QUORVEL_UI_LOG", log_.c_str(), 1);
    ::setenv("QUORVEL_UI", "script", 1);
  }

  std::vector<json> Dialogs() {
    std::vector<json> lines;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
    return lines;
  }

  std::string WriteFile(const std::string& name, const std::string& data) {
    const std::filesystem::path path = files_ / name;
    std::ofstream(path, std::ios::binary) << data;
    return path.string();
  }

  static std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  void SetStubPath(const std::string& directory) {
    std::shared_ptr<platform::Database> database;
    ASSERT_FALSE(platform::SharedDatabase(database));
    ASSERT_FALSE(platform::Registry(*database).SetString(kSettingsKey, "stubPath", directory));
  }

  // Expects the last call to have failed with `number` and `message`.
  void ExpectFailure(Status status, ErrorNumber number, std::u16string_view message) {
    EXPECT_EQ(status, Status::kFalse);
    EXPECT_EQ(control.Inspect().errorNum, ToInt(number));
    EXPECT_EQ(control.Inspect().errMsg, message);
  }
  void ExpectSuccess(Status status) {
    EXPECT_EQ(status, Status::kOk);
    EXPECT_EQ(control.Inspect().errorNum, 0);
    EXPECT_TRUE(control.Inspect().errMsg.empty());
  }

  const std::string& Outgoing() const { return control.Inspect().outgoingPlainText; }
  std::string Received() const {
    std::string storage;
    return std::string(control.Inspect().receivedPlainText.Text(storage));
  }

  CDrennicQuorvel control;
  std::filesystem::path files_;
  std::filesystem::path log_;
  int scripts_ = 0;
};

TEST_F(ContainerMembersTest, SetPlainTextStoresTheCodePageBytes) {
  ExpectSuccess(control.QVSetPlainText(u"你好 ok"));
  EXPECT_EQ(Outgoing(), "\xc4\xe3\xba\xc3 ok");
  ExpectFailure(control.QVSetPlainText(u""), err::kEmptyInput, msg::kSourceEmpty);
  EXPECT_EQ(Outgoing(), "\xc4\xe3\xba\xc3 ok");
  // A character code page 936 cannot hold: the old text is gone all the same.
  ExpectFailure(control.QVSetPlainText(u"\U0001F600"), err::kToCodePage, msg::kConversionShort);
  EXPECT_TRUE(Outgoing().empty());
}

TEST_F(ContainerMembersTest, AddingAFormItemDropsAPlainText) {
  ASSERT_EQ(control.QVSetPlainText(u"hello"), Status::kOk);
  ExpectSuccess(control.QVAddFormItem(u"a"));
  EXPECT_EQ(Outgoing(), "0000000900000001a00000000");
}

TEST_F(ContainerMembersTest, FormItemsAndFilesAccumulateInCallOrder) {
  ASSERT_EQ(control.QVAddFormItem(u"ab"), Status::kOk);
  EXPECT_EQ(Outgoing(), "0000001000000002ab00000000");
  ExpectSuccess(control.QVAddFile(platform::Utf8ToUtf16(WriteFile("x.txt", "hello"))));
  EXPECT_EQ(Outgoing(), "0000001000000002ab000000260000001800000005x.txthello");
  ASSERT_EQ(control.QVAddFormItem(u"中"), Status::kOk);
  EXPECT_EQ(Outgoing(),
            "0000002000000002ab00000002\xd6\xd0"
            "000000260000001800000005x.txthello");
}

TEST_F(ContainerMembersTest, AFailedAddLeavesTheOutgoingTextAsItWas) {
  ASSERT_EQ(control.QVAddFormItem(u"ab"), Status::kOk);
  const std::string before = Outgoing();
  ExpectFailure(control.QVAddFormItem(u""), err::kEmptyInput, msg::kAddFormItemFailed);
  ExpectFailure(control.QVAddFormItem(u"\U0001F600"), err::kToCodePage, msg::kConversionShort);
  ExpectFailure(control.QVAddFile(platform::Utf8ToUtf16((files_ / "absent").string())),
                ReportedAs(-1), msg::kReadFileFailed);
  ExpectFailure(control.QVAddFile(platform::Utf8ToUtf16(WriteFile("empty", ""))), ReportedAs(-1),
                msg::kReadFileFailed);
  EXPECT_EQ(Outgoing(), before);
}

TEST_F(ContainerMembersTest, AddFileChecksTheNameBeforeAnyDialog) {
  Script({{{"dialog", "open"}, {"path", WriteFile("never.txt", "x")}}});
  ExpectFailure(control.QVAddFile(std::u16string(257, u'a')), err::kTooLong, msg::kFileNameTooLong);
  // 256 characters pass the length check and fail only to open.
  ExpectFailure(control.QVAddFile(u"/" + std::u16string(255, u'a')), ReportedAs(-1),
                msg::kReadFileFailed);
  ASSERT_EQ(control.put_QVServerMode(1), Status::kOk);
  ExpectFailure(control.QVAddFile(u""), err::kEmptyInput, msg::kSourceEmpty);
  EXPECT_TRUE(Dialogs().empty());
  EXPECT_TRUE(Outgoing().empty());
}

TEST_F(ContainerMembersTest, AddFileWithoutANameAsksTheOpenDialog) {
  Script({{{"dialog", "open"}, {"cancel", true}},
          {{"dialog", "open"}, {"fail", true}},
          {{"dialog", "open"}, {"path", WriteFile("报表.txt", "data")}}});
  ExpectFailure(control.QVAddFile(u""), err::kUserCancelled, msg::kUserCancelled);
  ExpectFailure(control.QVAddFile(u""), ReportedAs(-1), msg::kReadFileFailed);
  ExpectSuccess(control.QVAddFile(u""));
  EXPECT_EQ(Outgoing(), "00000000000000280000002000000008\xb1\xa8\xb1\xed.txtdata");
  const std::vector<json> dialogs = Dialogs();
  ASSERT_EQ(dialogs.size(), 3u);
  for (const json& dialog : dialogs) {
    EXPECT_EQ(dialog["kind"], "open");
    EXPECT_EQ(dialog["title"], "Open");
    EXPECT_EQ(dialog["filter"], "*.*");
  }
}

TEST_F(ContainerMembersTest, AnAddThatWouldOverflowAFieldIsRefused) {
  ASSERT_EQ(control.QVAddFormItem(u"ab"), Status::kOk);
  // A sparse file whose record just fits while the section total would not.
  const std::string path = WriteFile("a", "");
  ASSERT_EQ(::truncate(path.c_str(), 99'999'990), 0);
  ExpectFailure(control.QVAddFile(platform::Utf8ToUtf16(path)),
                ReportedAs(container::kPlainTextFieldOverflow), msg::kEncodePlainTextFailed);
  EXPECT_EQ(Outgoing(), "0000001000000002ab00000000");
}

TEST_F(ContainerMembersTest, GetPlainTextReturnsTheWholeReceivedText) {
  std::u16string text = u"sentinel";
  ExpectSuccess(control.QVGetPlainText(text));
  EXPECT_TRUE(text.empty());
  control.SetReceivedPlainTextForTesting(std::string("\xc4\xe3\0\xba\xc3", 5));
  ExpectSuccess(control.QVGetPlainText(text));
  EXPECT_EQ(text, std::u16string(u"你\0好", 3));
  EXPECT_EQ(Received().size(), 5u);
}

TEST_F(ContainerMembersTest, TakesItemsThenTheFileThenReportsNothingLeft) {
  Script({{{"dialog", "save"}, {"path", (files_ / "saved.txt").string()}}});
  control.SetReceivedPlainTextForTesting(std::string(kTwoItemsAndAFile));
  std::u16string value;
  ExpectSuccess(control.QVGetFormItem(value));
  EXPECT_EQ(value, u"ab");
  EXPECT_EQ(Received(), "0000001100000003cde000000260000001800000005x.txthello");
  ExpectSuccess(control.QVGetFormItem(value));
  EXPECT_EQ(value, u"cde");
  EXPECT_EQ(Received(), "00000000000000260000001800000005x.txthello");
  value = u"sentinel";
  ExpectSuccess(control.QVGetFormItem(value));
  EXPECT_TRUE(value.empty());
  ExpectSuccess(control.QVGetFile(value));
  EXPECT_EQ(value, u"x.txt");
  EXPECT_EQ(ReadFile(files_ / "saved.txt"), "hello");
  EXPECT_TRUE(Received().empty());
  ExpectFailure(control.QVGetFormItem(value), err::kEmptyInput, msg::kSourceEmpty);
  ExpectFailure(control.QVGetFile(value), err::kEmptyInput, msg::kSourceEmpty);
  EXPECT_TRUE(value.empty());

  const std::vector<json> dialogs = Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["kind"], "save");
  EXPECT_EQ(dialogs[0]["title"], "Save");
  EXPECT_EQ(dialogs[0]["filter"], "*.*");
  EXPECT_EQ(dialogs[0]["suggestedName"], "x.txt");
}

TEST_F(ContainerMembersTest, TakingAFileLeavesTheFormItemsInOrder) {
  control.SetReceivedPlainTextForTesting(
      "0000002100000002ab00000003cde"
      "00000044"
      "000000140000000511111a"
      "000000140000000522222b");
  ASSERT_EQ(control.put_QVServerMode(1), Status::kOk);
  SetStubPath(files_.string());
  std::u16string value;
  ExpectSuccess(control.QVGetFile(value));
  EXPECT_EQ(value, u"11111");
  EXPECT_EQ(Received(),
            "0000002100000002ab00000003cde"
            "00000022"
            "000000140000000522222b");
  EXPECT_EQ(ReadFile(files_ / "11111"), "a");
}

TEST_F(ContainerMembersTest, DuplicatesAreTakenOneAtATimeInEitherOrder) {
  ASSERT_EQ(control.put_QVServerMode(1), Status::kOk);
  SetStubPath(files_.string());
  container::FormattedPlainText left;
  for (const char* item : {"ab", "ab", "cd"}) ASSERT_EQ(left.AddFormItem(item), 0);
  for (const char* content : {"one", "one", "two"}) ASSERT_EQ(left.AddFile("x.txt", content), 0);
  std::string text;
  ASSERT_EQ(left.Encode(text), 0);
  control.SetReceivedPlainTextForTesting(text);

  // Each step: whether a file is taken, what is returned, what the file holds.
  struct Step {
    bool takesFile;
    std::u16string value;
    std::string content;
  };
  const std::vector<Step> steps = {{true, u"x.txt", "one"}, {false, u"ab", ""}, {false, u"ab", ""},
                                   {true, u"x.txt", "one"}, {false, u"cd", ""}, {false, u"", ""},
                                   {true, u"x.txt", "two"}};
  std::vector<std::string> items = {"ab", "ab", "cd"};
  std::vector<std::string> contents = {"one", "one", "two"};
  for (const Step& step : steps) {
    std::filesystem::remove(files_ / "x.txt");
    std::u16string value = u"sentinel";
    if (step.takesFile) {
      ExpectSuccess(control.QVGetFile(value));
      EXPECT_EQ(ReadFile(files_ / "x.txt"), step.content);
      contents.erase(contents.begin());
    } else {
      ExpectSuccess(control.QVGetFormItem(value));
      if (!items.empty()) items.erase(items.begin());
    }
    EXPECT_EQ(value, step.value);
    container::FormattedPlainText expected;
    for (const std::string& item : items) ASSERT_EQ(expected.AddFormItem(item), 0);
    for (const std::string& content : contents) ASSERT_EQ(expected.AddFile("x.txt", content), 0);
    ASSERT_EQ(expected.Encode(text), 0);
    EXPECT_EQ(Received(), text);
  }
  EXPECT_TRUE(Received().empty());
  std::u16string value;
  ExpectFailure(control.QVGetFile(value), err::kEmptyInput, msg::kSourceEmpty);
}

TEST_F(ContainerMembersTest, TakingStartsAfreshWhenTheReceivedTextChanges) {
  control.SetReceivedPlainTextForTesting(std::string(kTwoItemsAndAFile));
  std::u16string value;
  ASSERT_EQ(control.QVGetFormItem(value), Status::kOk);
  ExpectSuccess(control.QVGetPlainText(value));
  EXPECT_EQ(value, u"0000001100000003cde000000260000001800000005x.txthello");

  control.SetReceivedPlainTextForTesting("0000002100000003xyz00000002uv00000000");
  ExpectSuccess(control.QVGetFormItem(value));
  EXPECT_EQ(value, u"xyz");
  EXPECT_EQ(Received(), "0000001000000002uv00000000");

  // A text that is not a container is refused even right after a take.
  control.SetReceivedPlainTextForTesting("not a container");
  ExpectFailure(control.QVGetFormItem(value), err::kNotAPlainTextContainer,
                msg::kNotAPlainTextContainer);
  EXPECT_EQ(Received(), "not a container");
  control.SetReceivedPlainTextForTesting(std::string(kTwoItemsAndAFile));
  ExpectSuccess(control.QVGetFormItem(value));
  EXPECT_EQ(value, u"ab");
}

TEST_F(ContainerMembersTest, TheFirstTakeRewritesALenientTextExactly) {
  struct Case {
    std::string text;
    bool takesFile;
    std::u16string value;
    std::string left;
  };
  const std::vector<Case> cases = {
      {"0000001000000002abxxxxxxxx", false, u"ab", ""},
      {"0000002100000002ab00000003cde", true, u"", "0000002100000002ab00000003cde00000000"},
      {std::string(kTwoItemsAndAFile) + "trailing bytes", false, u"ab",
       "0000001100000003cde000000260000001800000005x.txthello"},
      // A section of no elements is a container with nothing in it.
      {"0000000000000008000000000000000000000000", false, u"", ""},
  };
  for (const Case& c : cases) {
    control.SetReceivedPlainTextForTesting(c.text);
    std::u16string value = u"sentinel";
    ExpectSuccess(c.takesFile ? control.QVGetFile(value) : control.QVGetFormItem(value));
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_EQ(Received(), c.left) << c.text;
  }
}

TEST_F(ContainerMembersTest, ATakeWhoseRestWouldOverflowAFieldChangesNothing) {
  // The total field says 10, but the items read on past it to more bytes
  // than a total field can say, with or without the first item.
  std::string text =
      "00000010"
      "00000001a"
      "99999991";
  text.append(99'999'991, 'b');
  text += "00000001c";
  const std::string received = text;
  control.SetReceivedPlainTextForTesting(std::move(text));
  std::u16string value = u"sentinel";
  ExpectFailure(control.QVGetFormItem(value), ReportedAs(container::kPlainTextFieldOverflow),
                msg::kEncodePlainTextFailed);
  EXPECT_TRUE(value.empty());
  ExpectFailure(control.QVGetFile(value), ReportedAs(container::kPlainTextFieldOverflow),
                msg::kEncodePlainTextFailed);
  EXPECT_TRUE(Received() == received);
}

TEST_F(ContainerMembersTest, ProseIsNotAContainerAndStaysAsItWas) {
  const std::string prose = "Please pay 100 yuan to account 6222 0000 1111.";
  control.SetReceivedPlainTextForTesting(prose);
  std::u16string value = u"sentinel";
  ExpectFailure(control.QVGetFormItem(value), err::kNotAPlainTextContainer,
                msg::kNotAPlainTextContainer);
  EXPECT_EQ(ToInt(err::kNotAPlainTextContainer), -10037);
  EXPECT_TRUE(value.empty());
  ExpectFailure(control.QVGetFile(value), err::kNotAPlainTextContainer,
                msg::kNotAPlainTextContainer);
  EXPECT_EQ(Received(), prose);
  // The next add silently starts a new container.
  ASSERT_EQ(control.QVSetPlainText(platform::Utf8ToUtf16(prose)), Status::kOk);
  ExpectSuccess(control.QVAddFormItem(u"a"));
  EXPECT_EQ(Outgoing(), "0000000900000001a00000000");
}

TEST_F(ContainerMembersTest, ServerModeSavesIntoTheRegisteredDirectory) {
  ASSERT_EQ(control.put_QVServerMode(1), Status::kOk);
  const std::string file = "00000000000000260000001800000005a.txthello";
  std::u16string value;

  control.SetReceivedPlainTextForTesting(file);
  ExpectFailure(control.QVGetFile(value), err::kNoSaveDirectory, msg::kNoSavePathKey);
  EXPECT_EQ(ToInt(err::kNoSaveDirectory), -10006);
  // The received text was rewritten before the save: the file is gone.
  EXPECT_TRUE(Received().empty());

  {
    std::shared_ptr<platform::Database> database;
    ASSERT_FALSE(platform::SharedDatabase(database));
    ASSERT_FALSE(platform::Registry(*database).CreateKey(kSettingsKey));
  }
  control.SetReceivedPlainTextForTesting(file);
  ExpectFailure(control.QVGetFile(value), err::kNoSaveDirectory, msg::kNoStubPathValue);

  for (const std::string& directory : {files_.string() + "/", files_.string()}) {
    SetStubPath(directory);
    std::filesystem::remove(files_ / "a.txt");
    control.SetReceivedPlainTextForTesting(file);
    ExpectSuccess(control.QVGetFile(value));
    EXPECT_EQ(value, u"a.txt");
    EXPECT_EQ(ReadFile(files_ / "a.txt"), "hello") << directory;
  }

  SetStubPath((files_ / "missing").string());
  control.SetReceivedPlainTextForTesting(file);
  ExpectFailure(control.QVGetFile(value), ReportedAs(-1), msg::kSaveFileFailed);
  EXPECT_TRUE(value.empty());
}

TEST_F(ContainerMembersTest, AHostileFileNameIsNeverUsedAsGiven) {
  // "../../x" and an absolute path, each with content "evil".
  const std::string hostile =
      "0000000000000061"
      "0000001900000007../../xevil"
      "0000002600000014/tmp/quorvel-xevil";
  const std::filesystem::path stub = files_ / "stub" / "deeper";
  std::filesystem::create_directories(stub);
  SetStubPath(stub.string());
  ASSERT_EQ(control.put_QVServerMode(1), Status::kOk);
  control.SetReceivedPlainTextForTesting(hostile);
  std::u16string value;
  ExpectSuccess(control.QVGetFile(value));
  EXPECT_EQ(value, u"../../x");  // reported as received
  EXPECT_EQ(ReadFile(stub / "x"), "evil");
  EXPECT_FALSE(std::filesystem::exists(files_ / "x"));

  ASSERT_EQ(control.put_QVServerMode(0), Status::kOk);
  Script({{{"dialog", "save"}, {"cancel", true}}});
  ExpectFailure(control.QVGetFile(value), ReportedAs(-1), msg::kSaveFileFailed);
  const std::vector<json> dialogs = Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["suggestedName"], "quorvel-x");
}

}  // namespace
}  // namespace quorvel::control
