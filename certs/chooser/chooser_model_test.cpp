#include "certs/chooser/chooser_model.h"
#include "certs/chooser/temp_cert_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "certs/demo_home_test.h"

namespace quorvel::certs {
namespace {

using platform::CertContextRef;
using testing::Stores;

// The dialog on screen, as far as the chooser's logic sees it.
class RecordingHost final : public platform::ChooserHost {
 public:
  void ShowMessage(std::u16string_view text) override { messages.emplace_back(text); }
  bool OpenWithViewer(const std::filesystem::path& file) override {
    viewed.push_back(file);
    return true;
  }
  std::vector<std::u16string> messages;
  std::vector<std::filesystem::path> viewed;
};

class ChooserModelTest : public testing::DemoHomeTest {
 protected:
  void SetUp() override {
    DemoHomeTest::SetUp();
    my_ = Open({"MY"});
    // Three candidates whose subjects, issuers and dates sort differently.
    for (std::u16string_view name : {u"Zhang Wei", u"Expired User", u"李四"}) {
      CertContextRef context = Find(my_[0], name);
      ASSERT_TRUE(context);
      ASSERT_EQ(AppendCandidate(list_, *context), kListOk);
      candidates_.push_back(context);
    }
  }

  std::vector<std::u16string> Column(const ChooserModel& model, int column) const {
    std::vector<std::u16string> texts;
    for (const platform::ChooserRow& row : model.rows()) texts.push_back(row.Column(column));
    return texts;
  }

  static std::vector<uint8_t> Contents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static std::vector<uint8_t> Der(const CertContextRef& context) {
    const auto der = context->certificate().Der();
    return {der.begin(), der.end()};
  }

  std::filesystem::path Folder() const { return runtime_ / "Drennic" / "Quorvel"; }

  Stores my_;
  CandidateList list_;
  std::vector<CertContextRef> candidates_;
  RecordingHost host_;
};

TEST_F(ChooserModelTest, RowsAppearOnlyForFiveEntriesPerCandidate) {
  ChooserModel model(my_.set(), 3, &list_, testing::DefaultTexts());
  ASSERT_EQ(model.rows().size(), 3u);
  EXPECT_EQ(Column(model, 0),
            (std::vector<std::u16string>{u"Zhang Wei", u"Expired User", u"李四"}));
  EXPECT_EQ(model.rows()[1].issuer, u"ZAZU");
  EXPECT_EQ(model.rows()[1].notAfter, u"2016-01-01 00:00:00GMT");
  EXPECT_EQ(model.texts().subjectHeading, u"主题");

  EXPECT_TRUE(ChooserModel(my_.set(), 2, &list_, {}).rows().empty());
  EXPECT_TRUE(ChooserModel(my_.set(), 4, &list_, {}).rows().empty());
  EXPECT_TRUE(ChooserModel(my_.set(), 3, nullptr, {}).rows().empty());
  const uint8_t extra = 1;
  ASSERT_EQ(list_.AppendBytes(&extra, 1), kListOk);
  EXPECT_TRUE(ChooserModel(my_.set(), 3, &list_, {}).rows().empty());
}

TEST_F(ChooserModelTest, OneSortFlagServesEveryColumn) {
  ChooserModel model(my_.set(), 3, &list_, {});
  model.SortByColumn(2);
  EXPECT_EQ(Column(model, 2),
            (std::vector<std::u16string>{u"2016-01-01 00:00:00GMT", u"2049-12-31 23:59:59GMT",
                                         u"2049-12-31 23:59:59GMT"}));
  EXPECT_EQ(model.rows()[0].subject, u"Expired User");
  model.SortByColumn(2);
  EXPECT_EQ(model.rows()[2].subject, u"Expired User");
  // A third click, now on the subject heading, sorts ascending again ...
  model.SortByColumn(0);
  EXPECT_EQ(Column(model, 0),
            (std::vector<std::u16string>{u"Expired User", u"Zhang Wei", u"李四"}));
  // ... and the next, on another heading, descending.
  ChooserModel fresh(my_.set(), 3, &list_, {});
  fresh.SortByColumn(1);
  fresh.SortByColumn(0);
  EXPECT_EQ(Column(fresh, 0),
            (std::vector<std::u16string>{u"李四", u"Zhang Wei", u"Expired User"}));
  // The rows keep their candidates: OK on the first row chooses 李四 (candidate 2).
  EXPECT_TRUE(fresh.Ok(0, host_));
  EXPECT_EQ(fresh.resultIndex(), 14);
  const CertContextRef chosen = ResolveChoice(list_, 3, my_.set(), fresh.resultIndex());
  ASSERT_TRUE(chosen);
  EXPECT_EQ(Der(chosen), Der(candidates_[2]));
}

TEST_F(ChooserModelTest, OkWithoutASelectedRowKeepsTheDialogOpen) {
  ChooserModel model(my_.set(), 3, &list_, {});
  EXPECT_FALSE(model.Ok(std::nullopt, host_));
  EXPECT_EQ(model.resultIndex(), -1);
  EXPECT_EQ(host_.messages, std::vector<std::u16string>{u"No certificate selected."});
  EXPECT_TRUE(model.Ok(1, host_));
  EXPECT_EQ(model.resultIndex(), 9);
}

TEST_F(ChooserModelTest, ViewWritesOneFileThatLeavesWithTheDialog) {
  std::filesystem::path file;
  {
    ChooserModel model(my_.set(), 3, &list_, {});
    model.View(0, host_);
    model.View(2, host_);
    ASSERT_EQ(host_.viewed.size(), 2u);
    EXPECT_EQ(host_.viewed[0], host_.viewed[1]);
    file = host_.viewed[1];
    EXPECT_EQ(file, Folder() / "temp.cer");
    EXPECT_EQ(std::vector<std::filesystem::path>(std::filesystem::directory_iterator(Folder()), {}),
              std::vector<std::filesystem::path>{file});
    EXPECT_EQ(Contents(file), Der(candidates_[2]));
    struct stat status {};
    ASSERT_EQ(::stat(Folder().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((runtime_ / "Drennic").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    EXPECT_TRUE(host_.messages.empty());
  }
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(std::filesystem::is_directory(Folder()));
}

TEST_F(ChooserModelTest, ViewWithNothingSelectedWritesNothing) {
  ChooserModel model(my_.set(), 3, &list_, {});
  model.View(std::nullopt, host_);
  EXPECT_EQ(host_.messages, std::vector<std::u16string>{u"No certificate selected."});
  EXPECT_TRUE(host_.viewed.empty());
  EXPECT_FALSE(std::filesystem::exists(runtime_ / "Drennic"));
}

TEST_F(ChooserModelTest, ACandidateNoLongerStoredShowsNoFile) {
  ChooserModel model(my_.set(), 3, &list_, {});
  ASSERT_EQ(my_[0].DeleteCertificate(candidates_[1]), platform::error::kOk);
  model.View(1, host_);
  EXPECT_TRUE(host_.viewed.empty());
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_FALSE(std::filesystem::exists(Folder() / "temp.cer"));
}

TEST_F(ChooserModelTest, ViewFollowsNoLinkPlantedInItsFolders) {
  const std::filesystem::path elsewhere = root_ / "elsewhere";
  std::filesystem::create_directory(elsewhere);
  std::filesystem::create_directory_symlink(elsewhere, runtime_ / "Drennic");
  {
    ChooserModel model(my_.set(), 3, &list_, {});
    model.View(0, host_);
  }
  EXPECT_EQ(host_.messages, std::vector<std::u16string>{u"Create temporary file failed"});
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere));

  // A link in place of the file itself: nothing is written through it.
  std::filesystem::remove(runtime_ / "Drennic");
  std::filesystem::create_directories(Folder());
  std::filesystem::permissions(runtime_ / "Drennic", std::filesystem::perms::owner_all);
  std::filesystem::permissions(Folder(), std::filesystem::perms::owner_all);
  const std::filesystem::path target = elsewhere / "target";
  std::ofstream(target) << "keep";
  std::filesystem::create_symlink(target, Folder() / "temp.cer");
  host_.messages.clear();
  {
    ChooserModel model(my_.set(), 3, &list_, {});
    model.View(0, host_);
  }
  EXPECT_TRUE(host_.viewed.empty());
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_EQ(Contents(target), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
}

TEST_F(ChooserModelTest, WithoutAPrivateRuntimeDirectoryAPerUserFolderIsUsed) {
  ::chmod(runtime_.c_str(), 0755);  // others may enter: not used
  const std::filesystem::path tmp = root_ / "tmp";
  std::filesystem::create_directory(tmp);
  ::setenv("TMPDIR", tmp.c_str(), 1);
  const std::filesystem::path user = tmp / ("quorvel-" + std::to_string(::geteuid()));
  EXPECT_EQ(UserTemporaryDirectory(), user);
  struct stat status {};
  ASSERT_EQ(::stat(user.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(UserTemporaryDirectory(), user);
  // A folder of that name that others can enter is refused.
  ::chmod(user.c_str(), 0777);
  EXPECT_EQ(UserTemporaryDirectory(), std::filesystem::path());
  ::unsetenv("TMPDIR");
}

}  // namespace
}  // namespace quorvel::certs
