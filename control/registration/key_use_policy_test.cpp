// What the consent shows of the bytes a key is about to sign, and how often a
// page may ask, through the script UI's log.
#include "control/registration/key_use_policy.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "container/plain_text.h"
#include "platform/certificates/test_certificates.h"
#include "platform/errors/platform_errors.h"
#include "platform/text/code_page.h"
#include "tests/temporary_home.h"

namespace quorvel::registration {
namespace {

using nlohmann::json;
namespace pt = platform::testing;

class CallerKeyUseTest : public platform::TemporaryHome {
 protected:
  void SetUp() override {
    TemporaryHome::SetUp();
    key_ = pt::MakeRsaKey();
    ASSERT_EQ(platform::Certificate::FromDer(
                  pt::MakeCertificate({pt::Name({pt::Attr("2.5.4.3", "Zhang San")})}, key_.get(),
                                      key_.get()),
                  certificate_),
              platform::error::kOk);
    log_ = root_ / "ui.log";
    ::setenv("QUORVEL_UI", "script", 1);
    ::setenv("QUORVEL_UI_LOG", log_.c_str(), 1);
  }
  void TearDown() override {
    ::setenv("QUORVEL_UI", "none", 1);
    ::unsetenv("QUORVEL_UI_SCRIPT");
    ::unsetenv("QUORVEL_UI_LOG");
    TemporaryHome::TearDown();
  }

  void Answer(const std::vector<std::string>& answers) {
    json list = json::array();
    for (const std::string& answer : answers)
      list.push_back({{"dialog", "consent"}, {"answer", answer}});
    const auto script = root_ / ("script" + std::to_string(++scripts_) + ".json");
    std::ofstream(script) << json{{"answers", list}}.dump();
    ::setenv("QUORVEL_UI_SCRIPT", script.c_str(), 1);
  }

  bool Ask(const std::u16string& origin, std::string_view bytes, uint32_t codePage = 936) {
    CallerKeyUse keyUse(origin, "QVAttachedSign", codePage);
    return keyUse.Approve({platform::KeyAction::kSign,
                           certificate_.get(),
                           {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}});
  }

  std::vector<json> Dialogs() {
    std::vector<json> lines;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
    return lines;
  }

  platform::EvpPkeyPtr key_;
  std::shared_ptr<const platform::Certificate> certificate_;
  std::filesystem::path log_;
  int scripts_ = 0;
};

TEST_F(CallerKeyUseTest, ShowsExactlyWhatIsSignedOrSaysItCannot) {
  container::FormattedPlainText form;
  ASSERT_EQ(form.AddFormItem("payee=Li"), 0);
  std::string formatted;
  ASSERT_EQ(form.Encode(formatted), 0);
  std::string gbk;
  ASSERT_EQ(platform::EncodeToCodePage(936, u"转账", gbk), platform::CodePageStatus::kOk);
  const struct {
    std::string bytes;
    uint32_t codePage;
    json content;
  } cases[] = {
      {formatted, 936, {{"items", {"payee=Li"}}, {"files", json::array()}}},
      // Text after the form items would not be shown among them: shown whole.
      {formatted + "PAY MALLORY", 936, {{"text", formatted + "PAY MALLORY"}, {"size", 43}}},
      {gbk, 936, {{"text", "转账"}, {"size", 4}}},
      // Bytes that are no text in the code page the page set last: in hex.
      {gbk,
       20127,
       {{"text", "<不是代码页 20127 的文本 not text in code page 20127; hex: d7aad5cb>"},
        {"size", 4}}},
  };
  Answer(std::vector<std::string>(std::size(cases), "confirm"));
  for (const auto& c : cases) EXPECT_TRUE(Ask(u"https://bank.example", c.bytes, c.codePage));
  const std::vector<json> dialogs = Dialogs();
  ASSERT_EQ(dialogs.size(), std::size(cases));
  for (size_t i = 0; i < dialogs.size(); ++i) EXPECT_EQ(dialogs[i]["content"], cases[i].content);
}

TEST_F(CallerKeyUseTest, APageRefusedThreeTimesInARowIsRefusedWithoutAskingAndLocalCallersNever) {
  Answer({"cancel", "cancel", "cancel", "confirm"});
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(Ask(u"https://pest.example", "pay"));
  EXPECT_EQ(Dialogs().size(), 3u);
  EXPECT_TRUE(Ask(u"https://other.example", "pay"));  // another origin is asked
  EXPECT_TRUE(Ask(std::u16string(kLocalCaller), "pay"));
  EXPECT_EQ(Dialogs().size(), 4u);
}

}  // namespace
}  // namespace quorvel::registration
