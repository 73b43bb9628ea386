#include "files/save_directory.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/storage/database.h"
#include "platform/storage/registry.h"
#include "tests/temporary_home.h"

namespace quorvel::files {
namespace {

class SaveDirectoryTest : public platform::TemporaryHome {
 protected:
  platform::Registry& TheRegistry() {
    EXPECT_FALSE(platform::SharedDatabase(database_));
    registry_ = std::make_unique<platform::Registry>(*database_);
    return *registry_;
  }

  std::shared_ptr<platform::Database> database_;
  std::unique_ptr<platform::Registry> registry_;
};

TEST_F(SaveDirectoryTest, AMissingKeyAndAMissingValueAreTold) {
  std::string directory = "untouched";
  EXPECT_EQ(LookUpSaveDirectory(directory), SaveDirectoryStatus::kNoSettingsKey);
  ASSERT_FALSE(TheRegistry().CreateKey(kControlSettingsKey));
  EXPECT_EQ(LookUpSaveDirectory(directory), SaveDirectoryStatus::kNoValue);
  ASSERT_FALSE(registry_->SetString(kControlSettingsKey, "stubPath", ""));
  EXPECT_EQ(LookUpSaveDirectory(directory), SaveDirectoryStatus::kNoValue);
  EXPECT_EQ(directory, "untouched");
}

TEST_F(SaveDirectoryTest, ReadsTheValueAsGivenThroughEitherRoot) {
  ASSERT_FALSE(
      TheRegistry().SetString("HKCR\\CLSID\\{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}\\CtlSettings",
                              "STUBPATH", "/srv/stub/$HOME"));
  std::string directory;
  ASSERT_EQ(LookUpSaveDirectory(directory), SaveDirectoryStatus::kOk);
  EXPECT_EQ(directory, "/srv/stub/$HOME");
}

TEST(JoinSavePath, PutsExactlyOneSeparatorBetween) {
  EXPECT_EQ(JoinSavePath("/srv/stub/", "a.txt"), "/srv/stub/a.txt");
  EXPECT_EQ(JoinSavePath("/srv/stub", "a.txt"), "/srv/stub/a.txt");
  EXPECT_EQ(JoinSavePath("relative", "a.txt"), "relative/a.txt");
  EXPECT_EQ(JoinSavePath("/", "a.txt"), "/a.txt");
}

}  // namespace
}  // namespace quorvel::files
