// Signing and verifying as a client of the host gets them: each call a line of
// JSON-RPC to `quorvel host --stdio` through a pipe, or a WebSocket message to
// the bridge, and its answer read back, counted from the answer to `create`
// (the host's start-up excluded). The library peers are those of
// signing_bench.cpp, in the same run.
//
// Server mode and the `none` UI, the signer named by DN, as in-process. One
// operation is one batch of the calls a page makes for it (the text, then the
// signature; the verification, then the text it returns). The work is the
// host's, in another process: times are wall-clock.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "bench/bench_home.h"
#include "bench/host_process.h"
#include "tools/bridge_test_client.h"

namespace {

using json = nlohmann::json;
using quorvel::bench::BenchHome;
using quorvel::bench::HostProcess;

constexpr std::size_t kSmall = 1024;
constexpr std::size_t kLarge = std::size_t{10} << 20;

json Invoke(int id, const char* member, json args, const char* kind = "method") {
  return {{"jsonrpc", "2.0"},
          {"id", id},
          {"method", "invoke"},
          {"params", {{"object", 1}, {"member", member}, {"kind", kind}, {"args", args}}}};
}

// A host with one control object in server mode, code page 936, and
// compression only above `maxCompSize`.
template <typename Channel>
bool Prepare(Channel& host, int maxCompSize, bool serverMode = true) {
  host.WriteLine(
      R"({"jsonrpc":"2.0","id":0,"method":"create","params":{"progid":"Quorvel.DrennicQuorvel2"}})");
  if (host.ReadLine().find("\"object\":1") == std::string::npos) return false;
  json calls = json::array(
      {Invoke(2, "MaxCompSize", {maxCompSize}, "put"), Invoke(3, "QVSetCodePage", {936})});
  if (serverMode) calls.push_back(Invoke(1, "QVServerMode", {1}, "put"));
  host.WriteLine(calls.dump());
  const std::string answers = host.ReadLine();
  return answers.find("\"status\":1") == std::string::npos &&
         answers.find("\"error\"") == std::string::npos;
}

// The answer line of a batch, or empty when any call failed. The client's
// own parsing is left out of the time: the line is searched, not parsed.
template <typename Channel>
std::string Answers(Channel& host) {
  std::string line = host.ReadLine();
  if (line.find("\"status\":1") != std::string::npos ||
      line.find("\"error\"") != std::string::npos) {
    return {};
  }
  return line;
}

// The signature's JSON string, as escaped in the answer of its batch.
std::string EscapedSignature(const std::string& answers) {
  const std::string marker = "\"id\":11,\"jsonrpc\":\"2.0\",\"result\":{\"status\":0,\"value\":\"";
  const size_t start = answers.find(marker);
  if (start == std::string::npos) return {};
  const size_t from = start + marker.size();
  const size_t end = answers.find('"', from);
  return end == std::string::npos ? std::string() : answers.substr(from, end - from);
}

std::string SignRequest(const std::string& text) {
  return json::array(
             {Invoke(10, "QVSetPlainText", {text}), Invoke(11, "QVAttachedSign", {"CN=Zhang San"})})
      .dump();
}

std::string VerifyRequest(const std::string& escapedSignature) {
  const std::string text = json::array({Invoke(12, "QVAttachedVerify", {"@"}),
                                        Invoke(13, "QVGetPlainText", json::array())})
                               .dump();
  const size_t at = text.find("\"@\"");
  return text.substr(0, at + 1) + escapedSignature + text.substr(at + 2);
}

// A page reaches the host through the bridge: a WebSocket on loopback from
// the bridge's own origin, which is a web origin like any other. Server mode
// is not a page's to set, and each signature asks the user's consent, here
// answered by the script UI from a file of confirmations.
class BridgeChannel {
 public:
  BridgeChannel()
      : host_({"host", "--listen", "127.0.0.1:0", "--max-messages-per-second", "100000000"},
              BenchHome::Use(20).path().string(),
              {"QUORVEL_UI=script", "QUORVEL_UI_SCRIPT=" + Confirmations()}) {
    std::smatch match;
    const std::string line = host_.ReadLine();
    if (!std::regex_search(line, match, std::regex("ws://127\\.0\\.0\\.1:([0-9]+)/"))) return;
    const auto port = static_cast<uint16_t>(std::stoi(match[1]));
    open_ = client_.Connect(port) &&
            client_.Handshake(port, "http://127.0.0.1:" + std::to_string(port)) == 101;
  }
  bool open() const { return open_; }
  void WriteLine(const std::string& text) { client_.SendText(text); }
  std::string ReadLine() {
    const auto frame = client_.ReadFrame();
    return frame && frame->opcode == 1 ? frame->payload : std::string();
  }

 private:
  static std::string Confirmations() {
    const auto path = BenchHome::Use(20).path() / "confirmations.json";
    if (!std::filesystem::exists(path)) {
      json answers = json::array();
      for (int i = 0; i < 100000; ++i)
        answers.push_back({{"dialog", "consent"}, {"answer", "confirm"}});
      std::ofstream(path) << json{{"answers", answers}}.dump();
    }
    return path.string();
  }

  HostProcess host_;
  quorvel::tools::WsClient client_;
  bool open_ = false;
};

template <typename Channel>
void AttachedSign1KiB(benchmark::State& state, Channel& host, bool serverMode) {
  if (!Prepare(host, INT_MAX, serverMode)) return state.SkipWithError("the host did not start");
  const std::string request = SignRequest(quorvel::bench::FormText(kSmall));
  for (auto _ : state) {
    host.WriteLine(request);
    if (Answers(host).empty()) return state.SkipWithError("QVAttachedSign failed");
  }
  state.SetItemsProcessed(state.iterations());
}

template <typename Channel>
void AttachedVerify1KiB(benchmark::State& state, Channel& host, bool serverMode) {
  if (!Prepare(host, INT_MAX, serverMode)) return state.SkipWithError("the host did not start");
  host.WriteLine(SignRequest(quorvel::bench::FormText(kSmall)));
  const std::string signature = EscapedSignature(Answers(host));
  if (signature.empty()) return state.SkipWithError("QVAttachedSign failed");
  const std::string request = VerifyRequest(signature);
  for (auto _ : state) {
    host.WriteLine(request);
    if (Answers(host).empty()) return state.SkipWithError("QVAttachedVerify failed");
  }
  state.SetItemsProcessed(state.iterations());
}

void HostAttachedSign1KiB(benchmark::State& state) {
  HostProcess host({"host", "--stdio"}, BenchHome::Use(20).path().string());
  AttachedSign1KiB(state, host, true);
}

void HostAttachedVerify1KiB(benchmark::State& state) {
  HostProcess host({"host", "--stdio"}, BenchHome::Use(20).path().string());
  AttachedVerify1KiB(state, host, true);
}

void BridgeAttachedSign1KiB(benchmark::State& state) {
  BridgeChannel bridge;
  if (!bridge.open()) return state.SkipWithError("no WebSocket connection");
  AttachedSign1KiB(state, bridge, false);
}

void BridgeAttachedVerify1KiB(benchmark::State& state) {
  BridgeChannel bridge;
  if (!bridge.open()) return state.SkipWithError("no WebSocket connection");
  AttachedVerify1KiB(state, bridge, false);
}

long StatusKib(pid_t pid, const char* field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  const std::string prefix = std::string(field) + ":";
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
  }
  return -1;
}

// 10 MiB of Chinese text signed and verified, the content read back;
// `peak_growth_x_input` is the host's peak resident size over its idle size
// (after `create`), divided by the input's size in code page 936.
void HostAttachedSignVerify10MiB(benchmark::State& state) {
  HostProcess host({"host", "--stdio"}, BenchHome::Use(20).path().string());
  if (!Prepare(host, INT_MAX)) return state.SkipWithError("the host did not start");
  const long idle = StatusKib(host.pid(), "VmRSS");
  const std::string sign = SignRequest(quorvel::bench::ChineseText(kLarge));
  for (auto _ : state) {
    host.WriteLine(sign);
    const std::string signature = EscapedSignature(Answers(host));
    if (signature.empty()) return state.SkipWithError("QVAttachedSign failed");
    host.WriteLine(VerifyRequest(signature));
    if (Answers(host).empty()) return state.SkipWithError("QVAttachedVerify failed");
  }
  const long peak = StatusKib(host.pid(), "VmHWM");
  if (idle > 0 && peak > 0) {
    state.counters["peak_growth_x_input"] = static_cast<double>(peak - idle) * 1024.0 / kLarge;
    state.counters["idle_mib"] = static_cast<double>(idle) / 1024.0;
  }
}

}  // namespace

BENCHMARK(HostAttachedSign1KiB)->UseRealTime();
BENCHMARK(HostAttachedVerify1KiB)->UseRealTime();
BENCHMARK(BridgeAttachedSign1KiB)->UseRealTime();
BENCHMARK(BridgeAttachedVerify1KiB)->UseRealTime();
BENCHMARK(HostAttachedSignVerify10MiB)->Unit(benchmark::kMillisecond)->UseRealTime();
