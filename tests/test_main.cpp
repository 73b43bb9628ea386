// The main function of every unit-test program: dialogs are cancelled and the
// platform home is a private temporary directory, so no test ever touches the
// user's own stores, keys or registry. Tests that need other settings set
// them in their fixtures.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>

#include "tests/temporary_folder.h"

namespace {

class PrivateHome final : public ::testing::Environment {
 public:
  void SetUp() override {
    home_ = std::make_unique<quorvel::testing::TemporaryFolder>("quorvel-test-home");
    ASSERT_FALSE(home_->path().empty());
    ::setenv("QUORVEL_HOME", home_->path().c_str(), 1);
    ::setenv("QUORVEL_UI", "none", 1);
  }
  void TearDown() override { home_.reset(); }

 private:
  std::unique_ptr<quorvel::testing::TemporaryFolder> home_;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new PrivateHome);
  return RUN_ALL_TESTS();
}
