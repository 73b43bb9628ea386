#include "platform/storage/home.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>

#include "tests/temporary_home.h"

namespace quorvel::platform {
namespace {

mode_t ModeOf(const std::filesystem::path& path) {
  struct stat status {};
  EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

class Home : public TemporaryHome {
 protected:
  void TearDown() override {
    ::unsetenv("XDG_DATA_HOME");
    if (!savedHome_.empty()) ::setenv("HOME", savedHome_.c_str(), 1);
    TemporaryHome::TearDown();
  }
  void UseHomeDirectory(const std::filesystem::path& directory) {
    if (const char* value = std::getenv("HOME")) savedHome_ = value;
    ::setenv("HOME", directory.c_str(), 1);
  }

  std::string savedHome_;
};

TEST_F(Home, IsTheDirectoryNamedByQuorvelHomeCreatedPrivate) {
  ::setenv("QUORVEL_HOME", (home_ / "deeper" / "still").c_str(), 1);
  std::filesystem::path home;
  ASSERT_FALSE(EnsureHome(home));
  EXPECT_EQ(home, home_ / "deeper" / "still");
  EXPECT_TRUE(std::filesystem::is_directory(home));
  EXPECT_EQ(ModeOf(home), 0700u);
  EXPECT_EQ(ModeOf(home_ / "deeper"), 0700u);
}

TEST_F(Home, FallsBackToTheDataHomeAndThenToTheUserHome) {
  ::setenv("QUORVEL_HOME", "", 1);
  ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
  std::filesystem::path home;
  ASSERT_FALSE(ResolveHome(home));
  EXPECT_EQ(home, root_ / "data" / "quorvel");

  // A relative data home is not valid and is ignored.
  ::setenv("XDG_DATA_HOME", "relative/data", 1);
  UseHomeDirectory(root_ / "user");
  ASSERT_FALSE(EnsureHome(home));
  EXPECT_EQ(home, root_ / "user" / ".local" / "share" / "quorvel");
  EXPECT_EQ(ModeOf(home), 0700u);
}

TEST_F(Home, TightensTheModeOfAnExistingHome) {
  std::filesystem::create_directories(home_);
  ASSERT_EQ(::chmod(home_.c_str(), 0755), 0);
  std::filesystem::path home;
  ASSERT_FALSE(EnsureHome(home));
  EXPECT_EQ(ModeOf(home_), 0700u);
}

TEST_F(Home, RefusesAHomeThatIsNotADirectory) {
  std::ofstream(home_) << "not a directory";
  std::filesystem::path home;
  EXPECT_EQ(EnsureHome(home), std::errc::not_a_directory);
}

}  // namespace
}  // namespace quorvel::platform
