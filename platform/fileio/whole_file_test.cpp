#include "platform/fileio/whole_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/temporary_folder.h"

namespace quorvel::platform {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(WholeFile, TakesTheNameOnlyWhole) {
  const quorvel::testing::TemporaryFolder temporary("quorvel-whole-file");
  ASSERT_FALSE(temporary.path().empty());
  const fs::path& folder = temporary.path();
  std::ofstream(folder / "old") << "old";
  std::ofstream(folder / "target") << "target";
  fs::create_symlink(folder / "target", folder / "link");

  struct Case {
    const char* what;
    fs::path path;
    ExistingFile existing;
    int result;
    std::string content;  // at `path` afterwards
  };
  const Case cases[] = {
      {"a new name", folder / "new", ExistingFile::kKept, 0, "data"},
      {"an existing file replaced", folder / "old", ExistingFile::kReplaced, 0, "data"},
      {"an existing file kept", folder / "target", ExistingFile::kKept, EEXIST, "target"},
      {"a link replaced, not followed", folder / "link", ExistingFile::kReplaced, 0, "data"},
      {"a folder that is not there", folder / "none" / "file", ExistingFile::kReplaced, ENOENT, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(WriteFileBeside(c.path.string(), "data", c.existing), c.result);
    EXPECT_EQ(Read(c.path), c.content);
    struct stat status {};
    if (c.result == 0) {
      ASSERT_EQ(::lstat(c.path.c_str(), &status), 0);
      EXPECT_TRUE(S_ISREG(status.st_mode));
      EXPECT_EQ(status.st_mode & 0777, 0600u);
    }
  }
  EXPECT_EQ(Read(folder / "target"), "target");
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++entries;
  EXPECT_EQ(entries, 4u);  // new, old, target, link: no temporary file left
  fs::remove_all(folder);
}

}  // namespace
}  // namespace quorvel::platform
