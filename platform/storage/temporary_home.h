// Test support: a fresh, empty platform home for one test, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace quorvel::platform {

class TemporaryHome : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-home-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    home_ = root_ / "home";
    ::setenv("QUORVEL_HOME", home_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("QUORVEL_HOME");
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  std::filesystem::path root_;  // private to the test, holds the home
  std::filesystem::path home_;  // not yet created
};

}  // namespace quorvel::platform
