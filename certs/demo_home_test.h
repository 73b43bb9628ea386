// Test support: a private copy of the home that `quorvel demo-pki` filled (see
// docs/demo-pki.md), with the `script` UI reading its answers from a file of
// the test and logging to another, and a private runtime directory.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "certs/candidate_list.h"
#include "certs/cert_info.h"
#include "certs/default_texts_test.h"
#include "certs/info_text.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"
#include "platform/text/code_page.h"
#include "platform/ui/ui_services.h"
#include "tests/temporary_folder.h"

namespace quorvel::certs::testing {

// The issuer of every demo end-entity certificate.
inline constexpr std::u16string_view kZazu = u"O=ZuvirOrori, OU=config, CN=ZAZU";

// Open stores and the set of them a routine searches.
struct Stores {
  std::vector<std::unique_ptr<platform::CertStore>> owned;
  std::vector<platform::CertStore*> pointers;
  StoreSet set() const { return pointers; }
  platform::CertStore& operator[](std::size_t i) const { return *pointers[i]; }
};

class DemoHomeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    home_ = root_ / "home";
    std::filesystem::copy(QUORVEL_DEMO_HOME, home_, std::filesystem::copy_options::recursive);
    runtime_ = root_ / "run";
    ASSERT_EQ(::mkdir(runtime_.c_str(), 0700), 0);
    ::setenv("QUORVEL_HOME", home_.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    ::setenv("QUORVEL_UI", "script", 1);
    ::setenv("QUORVEL_UI_SCRIPT", (root_ / "script.json").c_str(), 1);
    ::setenv("QUORVEL_UI_LOG", (root_ / "ui.log").c_str(), 1);
    Answer({});
  }
  void TearDown() override {
    for (const char* name :
         {"QUORVEL_HOME", "XDG_RUNTIME_DIR", "QUORVEL_UI_SCRIPT", "QUORVEL_UI_LOG"}) {
      ::unsetenv(name);
    }
    ::setenv("QUORVEL_UI", "none", 1);
  }

  // The chooser dialogs from now on take these actions, one list per dialog.
  // The script is read afresh: the first dialog after this takes the first list.
  void Answer(std::initializer_list<nlohmann::json> dialogs) {
    nlohmann::json answers = nlohmann::json::array();
    for (const nlohmann::json& actions : dialogs) {
      answers.push_back({{"dialog", "chooser"}, {"actions", actions}});
    }
    std::ofstream(root_ / "script.json") << nlohmann::json{{"answers", answers}}.dump();
    // A changed script path makes the UI services read the script again.
    const std::string name = "script-" + std::to_string(++scripts_) + ".json";
    std::filesystem::rename(root_ / "script.json", root_ / name);
    ::setenv("QUORVEL_UI_SCRIPT", (root_ / name).c_str(), 1);
  }

  // The chooser dialogs shown so far, as logged.
  std::vector<nlohmann::json> Choosers() const {
    std::vector<nlohmann::json> lines;
    std::ifstream in(root_ / "ui.log");
    for (std::string line; std::getline(in, line);) {
      nlohmann::json entry = nlohmann::json::parse(line);
      if (entry["kind"] == "chooser") lines.push_back(std::move(entry));
    }
    return lines;
  }

  static Stores Open(std::initializer_list<std::string_view> names) {
    Stores stores;
    for (std::string_view name : names) {
      std::unique_ptr<platform::CertStore> store;
      EXPECT_EQ(platform::CertStore::OpenSystemStore(name, store), platform::error::kOk) << name;
      stores.pointers.push_back(store.get());
      stores.owned.push_back(std::move(store));
    }
    return stores;
  }

  // The certificate of `store` whose subject contains `part`.
  static platform::CertContextRef Find(platform::CertStore& store, std::u16string_view part) {
    platform::CertContextRef context;
    while (store.Enumerate(context, context) == platform::error::kOk) {
      if (SubjectText(context).find(part) != std::u16string::npos) return context;
    }
    ADD_FAILURE() << "no certificate " << platform::Utf16ToUtf8(std::u16string(part));
    return nullptr;
  }

  // The subject text as UTF-8, "(none)" for no certificate.
  static std::string Subject(const platform::CertContextRef& context) {
    if (!context) return "(none)";
    return platform::Utf16ToUtf8(SubjectText(context));
  }
  static std::u16string SubjectText(const platform::CertContextRef& context) {
    std::u16string text;
    EXPECT_TRUE(ReadInfoText(*context, kInfoSubject, text));
    return text;
  }

  // The first column of every logged row.
  static std::vector<std::string> Names(const nlohmann::json& rows) {
    std::vector<std::string> names;
    for (const nlohmann::json& row : rows) names.push_back(row[0].get<std::string>());
    return names;
  }

  quorvel::testing::TemporaryFolder folder_{"quorvel-certs"};
  const std::filesystem::path& root_ = folder_.path();
  std::filesystem::path home_;
  std::filesystem::path runtime_;
  int scripts_ = 0;
};

}  // namespace quorvel::certs::testing
