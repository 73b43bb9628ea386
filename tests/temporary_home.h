// Test support: a fresh, empty platform home for one test, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "tests/temporary_folder.h"

namespace quorvel::platform {

class TemporaryHome : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    home_ = root_ / "home";
    ::setenv("QUORVEL_HOME", home_.c_str(), 1);
  }
  void TearDown() override { ::unsetenv("QUORVEL_HOME"); }

  quorvel::testing::TemporaryFolder folder_{"quorvel-home"};
  const std::filesystem::path& root_ = folder_.path();  // private to the test, holds the home
  std::filesystem::path home_;                          // not yet created
};

}  // namespace quorvel::platform
