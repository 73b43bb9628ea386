#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace quorvel::tools {
namespace {

using nlohmann::json;

constexpr const char* kSettingsKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\"
    "{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}\\CtlSettings";

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs `quorvel` in a process of its own, in a private platform home, with the
// `script` user interface.
class HostContainerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-host-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    script_ = root_ / "script.json";
    log_ = root_ / "ui.log";
    Script(json::array());
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  void Script(const json& answers) { std::ofstream(script_) << json{{"answers", answers}}.dump(); }

  std::vector<json> Dialogs() {
    std::vector<json> lines;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
    return lines;
  }

  // Runs the program with `input` on its standard input; returns its exit code
  // and leaves its standard output in `output`.
  int Run(const std::vector<std::string>& arguments, const std::string& input, std::string& output,
          bool testSeams = true) {
    const std::filesystem::path in = root_ / "stdin";
    const std::filesystem::path out = root_ / "stdout";
    std::ofstream(in, std::ios::binary) << input;

    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string_view text(*entry);
      if (text.starts_with("QUORVEL_")) continue;
      environment.emplace_back(text);
    }
    environment.push_back("QUORVEL_HOME=" + (root_ / "home").string());
    environment.push_back("QUORVEL_UI=script");
    environment.push_back("QUORVEL_UI_SCRIPT=" + script_.string());
    environment.push_back("QUORVEL_UI_LOG=" + log_.string());
    if (testSeams) environment.push_back("QUORVEL_TEST_SEAMS=1");
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    std::string program = QUORVEL_PROGRAM;
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv{program.data()};
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child = 0;
    const int spawned =
        ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      ADD_FAILURE() << "cannot start " << program;
      return -1;
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    output = ReadFile(out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Creates one control object and sends it `calls`, each a JSON-RPC method and
  // its params without the object; returns the responses by call, in order.
  std::vector<json> Session(const std::vector<std::pair<std::string, json>>& calls,
                            bool testSeams = true) {
    std::string input = json{{"jsonrpc", "2.0"},
                             {"id", 0},
                             {"method", "create"},
                             {"params", {{"progid", "Quorvel.DrennicQuorvel2"}}}}
                            .dump() +
                        "\n";
    for (size_t i = 0; i < calls.size(); ++i) {
      json params = calls[i].second;
      params["object"] = 1;
      input +=
          json{{"jsonrpc", "2.0"}, {"id", i + 1}, {"method", calls[i].first}, {"params", params}}
              .dump() +
          "\n";
    }
    std::string output;
    EXPECT_EQ(Run({"host", "--stdio"}, input, output, testSeams), 0);
    std::map<int64_t, json> byId;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
      const json response = json::parse(line);
      byId[response["id"].get<int64_t>()] = response;
    }
    EXPECT_EQ(byId[0]["result"]["object"], 1) << output;
    std::vector<json> responses;
    for (size_t i = 1; i <= calls.size(); ++i) responses.push_back(byId[static_cast<int64_t>(i)]);
    return responses;
  }

  static std::pair<std::string, json> Invoke(const std::string& member, json args = json::array(),
                                             const char* kind = "method") {
    return {"invoke", {{"member", member}, {"kind", kind}, {"args", std::move(args)}}};
  }
  static std::pair<std::string, json> ErrorNum() { return Invoke("errorNum", {}, "get"); }
  static std::pair<std::string, json> ErrMsg() { return Invoke("errMsg", {}, "get"); }

  std::filesystem::path root_;
  std::filesystem::path script_;
  std::filesystem::path log_;
};

TEST_F(HostContainerTest, AddFileRefusesAnOverlongNameAndAnEmptyOneInServerMode) {
  Script({{{"dialog", "open"}, {"path", "/etc/hostname"}}});
  const std::vector<json> r = Session({Invoke("QVAddFile", {std::string(257, 'n')}), ErrorNum(),
                                       ErrMsg(), Invoke("QVServerMode", {1}, "put"),
                                       Invoke("QVAddFile", {""}), ErrorNum(), ErrMsg()});
  EXPECT_EQ(r[0]["result"]["status"], 1);
  EXPECT_EQ(r[1]["result"]["value"], -10056);
  EXPECT_EQ(r[2]["result"]["value"], "文件名超长");
  EXPECT_EQ(r[4]["result"]["status"], 1);
  EXPECT_EQ(r[5]["result"]["value"], -10001);
  EXPECT_EQ(r[6]["result"]["value"], "源数据为空");
  EXPECT_TRUE(Dialogs().empty());
}

TEST_F(HostContainerTest, ACancelledOpenDialogIsUserCancelled) {
  Script({{{"dialog", "open"}, {"cancel", true}}});
  const std::vector<json> r = Session({Invoke("QVAddFile", {""}), ErrorNum(), ErrMsg()});
  EXPECT_EQ(r[0]["result"]["status"], 1);
  EXPECT_EQ(r[1]["result"]["value"], -10004);
  EXPECT_EQ(r[2]["result"]["value"], "用户取消");
  const std::vector<json> dialogs = Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["kind"], "open");
  EXPECT_EQ(dialogs[0]["title"], "Open");
  EXPECT_EQ(dialogs[0]["filter"], "*.*");
  EXPECT_EQ(dialogs[0]["answer"], "cancelled");
}

TEST_F(HostContainerTest, AFileChosenInTheOpenDialogIsAdded) {
  const std::filesystem::path file = root_ / "x.txt";
  std::ofstream(file) << "hello";
  Script({{{"dialog", "open"}, {"path", file.string()}}});
  const std::vector<json> r =
      Session({Invoke("QVAddFormItem", {"ab"}), Invoke("QVAddFile", {""}), ErrorNum()});
  EXPECT_EQ(r[0]["result"]["status"], 0);
  EXPECT_EQ(r[1]["result"]["status"], 0);
  EXPECT_EQ(r[2]["result"]["value"], 0);
}

TEST_F(HostContainerTest, ServerModeSavesWhereTheRegistrySaysInALaterProcess) {
  const std::filesystem::path stub = root_ / "stub";
  std::filesystem::create_directories(stub);
  std::string output;
  ASSERT_EQ(Run({"reg", "set", kSettingsKey, "stubPath", stub.string() + "/"}, "", output), 0);

  const std::vector<json> r = Session({{"test.setReceivedPlainText",
                                        {{"text",
                                          "0000001000000002ab00000062"
                                          "00000019000000065.jsonhello"
                                          "0000002700000016../../escape.txtbye"}}},
                                       Invoke("QVServerMode", {1}, "put"),
                                       Invoke("QVGetFile"),
                                       Invoke("QVGetFile"),
                                       Invoke("QVGetFormItem"),
                                       Invoke("QVGetFile"),
                                       ErrMsg()});
  EXPECT_EQ(r[0]["result"], nullptr) << r[0];
  EXPECT_EQ(r[2]["result"], json({{"status", 0}, {"value", "5.json"}}));
  EXPECT_EQ(r[3]["result"], json({{"status", 0}, {"value", "../../escape.txt"}}));
  EXPECT_EQ(r[4]["result"], json({{"status", 0}, {"value", "ab"}}));
  EXPECT_EQ(r[5]["result"]["status"], 1);
  EXPECT_EQ(r[6]["result"]["value"], "源数据为空");
  EXPECT_EQ(ReadFile(stub / "5.json"), "hello");
  EXPECT_EQ(ReadFile(stub / "escape.txt"), "bye");
  EXPECT_FALSE(std::filesystem::exists(root_ / "escape.txt"));
  EXPECT_FALSE(std::filesystem::exists(root_.parent_path() / "escape.txt"));
  EXPECT_TRUE(Dialogs().empty());
}

TEST_F(HostContainerTest, ServerModeWithoutTheSettingFailsWithoutSaving) {
  const std::vector<json> r = Session({{"test.setReceivedPlainText",
                                        {{"base64",
                                          "MDAwMDAwMDAwMDAwMDAyNjAwMDAwMDE4MDAwMDAwMDVh"
                                          "LnR4dGhlbGxv"}}},
                                       Invoke("QVServerMode", {1}, "put"),
                                       Invoke("QVGetFile"),
                                       ErrorNum(),
                                       ErrMsg()});
  EXPECT_EQ(r[2]["result"]["status"], 1);
  EXPECT_EQ(r[3]["result"]["value"], -10006);
  EXPECT_EQ(r[4]["result"]["value"], "找不到包含文件保存路径的注册表记录项!");
}

TEST_F(HostContainerTest, TheTestSeamIsUnreachableUnlessEnabled) {
  const std::vector<json> r =
      Session({{"test.setReceivedPlainText", {{"text", "0000001000000002ab"}}},
               Invoke("QVGetFormItem"),
               ErrMsg()},
              false);
  EXPECT_EQ(r[0]["error"]["code"], -32601);
  EXPECT_EQ(r[1]["result"]["status"], 1);
  EXPECT_EQ(r[2]["result"]["value"], "源数据为空");
}

}  // namespace
}  // namespace quorvel::tools
