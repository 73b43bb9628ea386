// The round trip of one small call (QVBase64Encode of 16 bytes) from a client
// to the control and back: over the browser bridge's WebSocket on loopback
// against the stdio host's pipes, both `quorvel host` processes of this build.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tools/bridge_test_client.h"

extern char** environ;

namespace {

const std::string kCall =
    R"({"jsonrpc":"2.0","id":7,"method":"invoke","params":{"object":1,"member":"QVBase64Encode","args":["0123456789abcdef"]}})";
const std::string kCreate =
    R"({"jsonrpc":"2.0","id":0,"method":"create","params":{"progid":"Quorvel.DrennicQuorvel2"}})";

// A `quorvel host` process with pipes to its standard input and output.
class HostProcess {
 public:
  HostProcess(std::vector<std::string> arguments, const std::string& home) {
    std::vector<std::string> environment{"QUORVEL_HOME=" + home, "QUORVEL_UI=none"};
    for (char** entry = environ; *entry != nullptr; ++entry) {
      if (!std::string_view(*entry).starts_with("QUORVEL_")) environment.emplace_back(*entry);
    }
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    arguments.insert(arguments.begin(), QUORVEL_PROGRAM);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    in_ = in[1];
    out_ = out[0];
  }
  ~HostProcess() {
    ::close(in_);
    ::close(out_);
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }

  std::string ReadLine() {
    size_t newline = 0;
    while ((newline = buffer_.find('\n')) == std::string::npos) {
      char chunk[4096];
      const ssize_t got = ::read(out_, chunk, sizeof chunk);
      if (got <= 0) return {};
      buffer_.append(chunk, static_cast<size_t>(got));
    }
    std::string line = buffer_.substr(0, newline);
    buffer_.erase(0, newline + 1);
    return line;
  }
  bool WriteLine(const std::string& line) {
    const std::string text = line + "\n";
    return ::write(in_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }

 private:
  pid_t pid_ = 0;
  int in_ = -1;
  int out_ = -1;
  std::string buffer_;
};

std::string Home() {
  static const std::string home = [] {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quorvel-bench-XXXXXX").string();
    ::mkdtemp(pattern.data());
    return pattern;
  }();
  return home;
}

void BM_RoundTripOverStdio(benchmark::State& state) {
  HostProcess host({"host", "--stdio"}, Home());
  host.WriteLine(kCreate);
  host.ReadLine();
  for (auto _ : state) {
    host.WriteLine(kCall);
    const std::string answer = host.ReadLine();
    if (answer.empty()) {
      state.SkipWithError("the host did not answer");
      return;
    }
    benchmark::DoNotOptimize(answer.data());
  }
}
BENCHMARK(BM_RoundTripOverStdio)->Unit(benchmark::kMicrosecond);

void BM_RoundTripOverBridge(benchmark::State& state) {
  // The default of 200 messages a second per connection would close a
  // client that calls as fast as it can.
  HostProcess host({"host", "--listen", "127.0.0.1:0", "--max-messages-per-second", "100000000"},
                   Home());
  std::smatch match;
  const std::string line = host.ReadLine();
  if (!std::regex_search(line, match, std::regex("ws://127\\.0\\.0\\.1:([0-9]+)/"))) {
    state.SkipWithError("the bridge did not start");
    return;
  }
  const auto port = static_cast<uint16_t>(std::stoi(match[1]));
  quorvel::tools::WsClient client;
  // The bridge's own origin is admitted without asking.
  if (!client.Connect(port) ||
      client.Handshake(port, "http://127.0.0.1:" + std::to_string(port)) != 101) {
    state.SkipWithError("no WebSocket connection");
    return;
  }
  client.SendText(kCreate);
  client.ReadFrame();
  for (auto _ : state) {
    client.SendText(kCall);
    const auto answer = client.ReadFrame();
    if (!answer || answer->opcode != 1) {
      state.SkipWithError("the bridge did not answer");
      return;
    }
    benchmark::DoNotOptimize(answer->payload.data());
  }
}
BENCHMARK(BM_RoundTripOverBridge)->Unit(benchmark::kMicrosecond);

}  // namespace
