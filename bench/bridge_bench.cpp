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

#include "bench/host_process.h"
#include "tools/bridge_test_client.h"

namespace {

using quorvel::bench::HostProcess;

const std::string kCall =
    R"({"jsonrpc":"2.0","id":7,"method":"invoke","params":{"object":1,"member":"QVBase64Encode","args":["0123456789abcdef"]}})";
const std::string kCreate =
    R"({"jsonrpc":"2.0","id":0,"method":"create","params":{"progid":"Quorvel.DrennicQuorvel2"}})";

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
