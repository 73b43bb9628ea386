#include "files/file_routines.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/temporary_folder.h"

namespace quorvel::files {
namespace {

using nlohmann::json;

class FileRoutinesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    log_ = dir_ / "ui.log";
  }
  void TearDown() override {
    ::setenv("QUORVEL_UI", "none", 1);
    ::unsetenv("QUORVEL_UI_SCRIPT");
    ::unsetenv("QUORVEL_UI_LOG");
  }

  // Dialogs from now on are answered by `answers`, in order.
  void Script(const json& answers) {
    const std::filesystem::path script = dir_ / ("script" + std::to_string(++scripts_) + ".json");
    std::ofstream(script) << json{{"answers", answers}}.dump();
    ::setenv("QUORVEL_UI_SCRIPT", script.c_str(), 1);
    ::setenv("QUORVEL_UI_LOG", log_.c_str(), 1);
    ::setenv("QUORVEL_UI", "script", 1);
  }

  std::string Write(const std::string& name, const std::string& data) {
    const std::filesystem::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << data;
    return path.string();
  }

  std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::vector<json> LogLines() {
    std::vector<json> lines;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
    return lines;
  }

  quorvel::testing::TemporaryFolder folder_{"quorvel-files"};
  const std::filesystem::path& dir_ = folder_.path();
  std::filesystem::path log_;
  int scripts_ = 0;
};

TEST_F(FileRoutinesTest, ReadsAWholeFileAndNamesItByItsLastComponent) {
  const std::string data("binary\0\xff\r\ndata", 15);
  const std::string path = Write("数据 file.bin", data);
  FileContents file;
  ASSERT_EQ(OpenFileForRead(u"Open", u"*.*", file, path), kFileOk);
  EXPECT_EQ(file.name, u"数据 file.bin");
  EXPECT_EQ(file.data, data);
}

TEST_F(FileRoutinesTest, RefusesWhatCannotBeReadWhole) {
  FileContents file;
  EXPECT_EQ(OpenFileForRead(u"Open", u"*.*", file, Write("empty", "")), kFileFailed);
  EXPECT_EQ(OpenFileForRead(u"Open", u"*.*", file, (dir_ / "absent").string()), kFileFailed);
  EXPECT_EQ(OpenFileForRead(u"Open", u"*.*", file, dir_.string()), kFileFailed);
  EXPECT_EQ(OpenFileForRead(u"Open", u"*.*", file, ""), kFileFailed);
  const std::string existing = Write("real", "content");
  EXPECT_EQ(OpenFileForRead(u"Open", u"*.*", file, existing + std::string("\0/other", 7)),
            kFileFailed);
  // Over the caller's limit, and a link given by name.
  EXPECT_EQ(OpenFileForRead(u"Open", u"*.*", file, existing, 6), kFileFailed);
  EXPECT_EQ(OpenFileForRead(u"Open", u"*.*", file, existing, 7), kFileOk);
  const std::string link = (dir_ / "link").string();
  ASSERT_EQ(::symlink(existing.c_str(), link.c_str()), 0);
  EXPECT_EQ(OpenFileForRead(u"Open", u"*.*", file, link), kFileFailed);
  EXPECT_TRUE(file.name.empty());
  EXPECT_TRUE(file.data.empty());
}

TEST_F(FileRoutinesTest, APathWithoutSeparatorFailsEvenWhenTheFileExists) {
  Write("here.txt", "content");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir_);
  FileContents file;
  const int32_t result = OpenFileForRead(u"Open", u"*.*", file, "here.txt");
  std::filesystem::current_path(previous);
  EXPECT_EQ(result, kFileFailed);
  EXPECT_EQ(OpenFileForRead(u"Open", u"*.*", file, Write("here.txt", "content")), kFileOk);
}

TEST_F(FileRoutinesTest, TheOpenDialogChoosesCancelsOrFails) {
  const std::string path = Write("picked.txt", "picked");
  Script({{{"dialog", "open"}, {"path", path}},
          {{"dialog", "open"}, {"cancel", true}},
          {{"dialog", "open"}, {"fail", true}},
          {{"dialog", "open"}, {"path", (dir_ / "gone").string()}}});
  FileContents file;
  ASSERT_EQ(OpenFileForRead(u"Open", u"*.*", file), kFileOk);
  EXPECT_EQ(file.name, u"picked.txt");
  EXPECT_EQ(file.data, "picked");
  EXPECT_EQ(OpenFileForRead(u"Open", u"*.*", file), kFileDialogCancelled);
  EXPECT_EQ(OpenFileForRead(u"Open", u"*.*", file), kFileFailed);
  EXPECT_EQ(OpenFileForRead(u"Open", u"*.*", file), kFileFailed);

  const std::vector<json> lines = LogLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0]["kind"], "open");
  EXPECT_EQ(lines[0]["title"], "Open");
  EXPECT_EQ(lines[0]["filter"], "*.*");
}

TEST_F(FileRoutinesTest, SavesAtAPathCreatingOrTruncating) {
  const std::string path = Write("out.bin", "a much longer old content");
  EXPECT_EQ(SaveFileAs(u"Save", u"*.*", u"", "new", path), kFileOk);
  EXPECT_EQ(Read(path), "new");
  const std::string fresh = (dir_ / "fresh.bin").string();
  EXPECT_EQ(SaveFileWithExtension(u"Save", u"*.cry", u"cry", std::string("\0x", 2), fresh),
            kFileOk);
  EXPECT_EQ(Read(fresh), std::string("\0x", 2));
  EXPECT_EQ(SaveFileAs(u"Save", u"*.*", u"", "x", (dir_ / "no/such/dir").string()), kFileFailed);
  EXPECT_EQ(SaveFileAs(u"Save", u"*.*", u"", "x", dir_.string()), kFileFailed);
  EXPECT_EQ(SaveFileAs(u"Save", u"*.*", u"", "x", path + std::string("\0.x", 3)), kFileFailed);
  EXPECT_EQ(Read(path), "new");
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().filename().string().find(".quorvel-save-"), std::string::npos)
        << "a failed save left " << entry.path();
  }
}

TEST_F(FileRoutinesTest, SavesPrivatelyAndReplacesALinkInsteadOfFollowingIt) {
  const std::string target = Write("target", "keep me");
  const std::string link = (dir_ / "received.pdf").string();
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  EXPECT_EQ(SaveFileAs(u"Save", u"*.*", u"", "document", link), kFileOk);
  EXPECT_EQ(Read(target), "keep me");
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Read(link), "document");
  struct stat info {};
  ASSERT_EQ(::stat(link.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(SaveFileAs(u"Save", u"*.*", u"", "newer", link), kFileOk);
  EXPECT_EQ(Read(link), "newer");
}

TEST_F(FileRoutinesTest, RefusesAFifoWithoutWaitingForAWriter) {
  const std::string fifo = (dir_ / "pipe").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  FileContents file;
  EXPECT_EQ(OpenFileForRead(u"Open", u"*.*", file, fifo), kFileFailed);
}

TEST_F(FileRoutinesTest, TheSaveDialogGetsTheSuggestionAndWritesTheChosenFile) {
  const std::string target = (dir_ / "chosen.txt").string();
  Script({{{"dialog", "save"}, {"path", target}},
          {{"dialog", "save"}, {"cancel", true}},
          {{"dialog", "save"}, {"path", (dir_ / "report").string()}},
          {{"dialog", "save"}, {"fail", true}}});
  EXPECT_EQ(SaveFileAs(u"Save", u"*.*", u"a.txt", "hello"), kFileOk);
  EXPECT_EQ(Read(target), "hello");
  EXPECT_EQ(SaveFileAs(u"Save", u"*.*", u"a.txt", "hello"), kFileFailed);
  EXPECT_EQ(SaveFileWithExtension(u"Save", u"*.cry", u"cry", "enc"), kFileOk);
  EXPECT_EQ(Read(dir_ / "report.cry"), "enc");
  EXPECT_EQ(SaveFileWithExtension(u"Save", u"*.cry", u"cry", "enc"), kFileFailed);

  const std::vector<json> lines = LogLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0]["suggestedName"], "a.txt");
  EXPECT_EQ(lines[0]["defaultExtension"], "");
  EXPECT_EQ(lines[2]["suggestedName"], "");
  EXPECT_EQ(lines[2]["defaultExtension"], "cry");
  EXPECT_EQ(lines[2]["filter"], "*.cry");
}

TEST_F(FileRoutinesTest, WithoutAnInterfaceEveryDialogCountsAsCancelled) {
  ::setenv("QUORVEL_UI", "none", 1);
  FileContents file;
  EXPECT_EQ(OpenFileForRead(u"Open", u"*.*", file), kFileDialogCancelled);
  EXPECT_EQ(SaveFileAs(u"Save", u"*.*", u"a.txt", "x"), kFileFailed);
  EXPECT_FALSE(std::filesystem::exists(log_));
}

}  // namespace
}  // namespace quorvel::files
