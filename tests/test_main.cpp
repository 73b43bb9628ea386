// The main function of every unit-test program: dialogs are cancelled and the
// platform home is a private temporary directory, so no test ever touches the
// user's own stores, keys or registry. Tests that need other settings set
// them in their fixtures.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace {

class PrivateHome final : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quorvel-test-home-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    home_ = pattern;
    ::setenv("QUORVEL_HOME", home_.c_str(), 1);
    ::setenv("QUORVEL_UI", "none", 1);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(home_, ignored);
  }

 private:
  std::filesystem::path home_;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new PrivateHome);
  return RUN_ALL_TESTS();
}
