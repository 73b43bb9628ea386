// A test fixture that drives the built `quorvel` program as a client would:
// each run in a process of its own, in a private platform home, with the
// `script` user interface.
#pragma once

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

#include "tests/temporary_folder.h"

extern char** environ;

namespace quorvel::tools {

using nlohmann::json;

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class HostSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    script_ = root_ / "script.json";
    log_ = root_ / "ui.log";
    Script(json::array());
  }

  void Script(const json& answers) { std::ofstream(script_) << json{{"answers", answers}}.dump(); }

  std::vector<json> Dialogs() {
    std::vector<json> lines;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
    return lines;
  }

  // The environment of the program under test: this one without QUORVEL_
  // variables, then the private home and the `script` UI.
  std::vector<std::string> ChildEnvironment(bool testSeams) const {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string_view text(*entry);
      if (!text.starts_with("QUORVEL_")) environment.emplace_back(text);
    }
    environment.push_back("QUORVEL_HOME=" + (root_ / "home").string());
    environment.push_back("QUORVEL_UI=script");
    environment.push_back("QUORVEL_UI_SCRIPT=" + script_.string());
    environment.push_back("QUORVEL_UI_LOG=" + log_.string());
    if (testSeams) environment.push_back("QUORVEL_TEST_SEAMS=1");
    return environment;
  }

  // Starts the program with `in` as its standard input and `out` as its
  // standard output; returns its process id, or -1.
  pid_t Spawn(const std::vector<std::string>& arguments, const std::filesystem::path& in,
              const std::filesystem::path& out, bool testSeams = true) {
    std::vector<std::string> environment = ChildEnvironment(testSeams);
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
    return child;
  }

  // Runs the program with `input` on its standard input; returns its exit code
  // and leaves its standard output in `output`.
  int Run(const std::vector<std::string>& arguments, const std::string& input, std::string& output,
          bool testSeams = true) {
    const std::filesystem::path in = root_ / "stdin";
    const std::filesystem::path out = root_ / "stdout";
    std::ofstream(in, std::ios::binary) << input;
    const pid_t child = Spawn(arguments, in, out, testSeams);
    if (child < 0) return -1;
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

  quorvel::testing::TemporaryFolder folder_{"quorvel-host"};
  const std::filesystem::path& root_ = folder_.path();
  std::filesystem::path script_;
  std::filesystem::path log_;
};

}  // namespace quorvel::tools
