// `quorvel host --native-messaging` as a browser starts and drives it: only
// for our extension, refusing broken framing before anything runs, and
// serving each page connection under its origin's rights.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "tools/host_session_fixture.h"

namespace quorvel::tools {
namespace {

const std::string kOurs = "chrome-extension://mpoihhegonckbdhmoikcpobekmdhoemj/";

std::string RawFrame(std::string_view text) {
  const uint32_t length = static_cast<uint32_t>(text.size());
  std::string frame(sizeof length, '\0');
  std::memcpy(frame.data(), &length, sizeof length);
  return frame + std::string(text);
}

std::string Frame(const json& message) {
  return RawFrame(message.dump());
}

json Request(int id, const std::string& method, const json& params) {
  return {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}};
}

json Call(uint64_t session, const json& request) {
  return {{"call", session}, {"text", request.dump()}};
}

class NativeHostTest : public HostSessionTest {
 protected:
  void TearDown() override {
    if (pid_ > 0) {
      ::close(in_);
      ::close(out_);
      ::waitpid(pid_, nullptr, 0);
    }
    HostSessionTest::TearDown();
  }

  void Start(const std::vector<std::string>& options = {}) {
    std::vector<std::string> environment = ChildEnvironment(false);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> arguments{QUORVEL_PROGRAM, "host", "--native-messaging", kOurs};
    arguments.insert(arguments.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int in[2];
    int out[2];
    ASSERT_EQ(::pipe2(in, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    ASSERT_EQ(::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    in_ = in[1];
    out_ = out[0];
  }

  void Send(const std::string& bytes) {
    ASSERT_EQ(::write(in_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  bool ReadExactly(char* data, size_t size) {
    for (size_t done = 0; done < size;) {
      const ssize_t got = ::read(out_, data + done, size - done);
      if (got <= 0) return false;
      done += static_cast<size_t>(got);
    }
    return true;
  }

  // The next message, its chunks joined; every frame within the browser's 1 MB.
  json Receive() {
    std::string joined;
    for (;;) {
      uint32_t length = 0;
      if (!ReadExactly(reinterpret_cast<char*>(&length), sizeof length)) return nullptr;
      EXPECT_LE(length, 1024u * 1024u);
      std::string text(length, '\0');
      if (!ReadExactly(text.data(), length)) return nullptr;
      json message = json::parse(text);
      if (!message.contains("chunk")) return message;
      ++chunks_;
      joined += message["text"].get<std::string>();
      if (message["chunk"]["index"] == message["chunk"]["count"].get<int>() - 1) {
        return json::parse(joined);
      }
    }
  }

  pid_t pid_ = 0;
  int in_ = -1;
  int out_ = -1;
  int chunks_ = 0;
};

TEST_F(NativeHostTest, RefusesOtherCallersAndBrokenFramingBeforeAnythingRuns) {
  std::string output;
  ASSERT_EQ(Run({"host", "allow", "https://bank.example"}, "", output), 0);
  const std::string good =
      Frame(json{{"open", 1}, {"origin", "https://bank.example"}}) +
      Frame(Call(1, Request(1, "create", {{"progid", "Quorvel.DrennicQuorvel2"}})));
  std::string overLimit(4, '\xff');
  struct Case {
    const char* what;
    std::vector<std::string> callers;
    std::string input;
    int exitCode;
  };
  const Case cases[] = {
      {"another extension", {"chrome-extension://aaaabbbbccccddddeeeeffffgggghhhh/"}, good, 2},
      {"another Firefox add-on", {"/home/u/.mozilla/x.json", "evil@example.org"}, good, 2},
      {"no caller", {}, good, 2},
      {"a cut length", {kOurs}, good + std::string(2, '\x10'), 1},
      {"a length over 64 MiB", {kOurs}, good + overLimit + "{}", 1},
      {"a cut message", {kOurs}, good + RawFrame("{\"open\":2}").substr(0, 8), 1},
      {"bad UTF-8", {kOurs}, good + RawFrame("{\"x\":\"\xc3\x28\"}"), 1},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments{"host", "--native-messaging"};
    arguments.insert(arguments.end(), c.callers.begin(), c.callers.end());
    EXPECT_EQ(Run(arguments, c.input, output, false), c.exitCode) << c.what;
    // A message cut off by the end of the input is found only there, after
    // the connection before it was admitted; no call runs either way.
    EXPECT_EQ(output.find("answer"), std::string::npos) << c.what;
    if (c.exitCode == 2) {
      EXPECT_EQ(output, "") << c.what;
    }
  }
}

TEST_F(NativeHostTest, EachPageConnectionIsHeldToItsOriginAndLargeMessagesCrossInChunks) {
  std::string output;
  ASSERT_EQ(Run({"host", "allow", "https://bank.example"}, "", output), 0);
  ASSERT_EQ(Run({"host", "deny", "https://denied.example"}, "", output), 0);
  Start();
  Send(Frame(json{{"open", 7}, {"origin", "https://bank.example:443"}}));
  EXPECT_EQ(Receive(), (json{{"opened", 7}}));
  struct Refusal {
    std::string origin;
    int code;
  };
  for (const auto& [origin, code] : {Refusal{"https://denied.example", 4403},
                                     Refusal{"http://shop.example", 1008}, Refusal{"null", 1008}}) {
    Send(Frame(json{{"open", 8}, {"origin", origin}}));
    const json closed = Receive();
    EXPECT_EQ(closed["closed"], 8) << origin;
    EXPECT_EQ(closed["code"], code) << origin;
  }
  // A call of a connection never admitted runs nothing.
  Send(Frame(Call(8, Request(1, "create", {{"progid", "Quorvel.DrennicQuorvel2"}}))));
  Send(Frame(Call(7, Request(1, "create", {{"progid", "Quorvel.DrennicQuorvel2"}}))));
  json created = Receive();
  ASSERT_EQ(created["answer"], 7) << created;
  EXPECT_EQ(json::parse(created["text"].get<std::string>())["result"]["object"], 1);

  // 1.5 MB each way: the request in chunks of the extension's making, the
  // answer in the host's.
  const std::string text(1500000, 'q');
  const std::string request = json(Call(7, Request(2, "invoke",
                                                   {{"object", 1},
                                                    {"member", "QVBase64Encode"},
                                                    {"kind", "method"},
                                                    {"args", {text}}})))
                                  .dump();
  std::string chunks;
  const size_t piece = 600000;
  const size_t count = (request.size() + piece - 1) / piece;
  for (size_t i = 0; i < count; ++i) {
    chunks += Frame(json{{"chunk", {{"id", 1}, {"index", i}, {"count", count}}},
                         {"text", request.substr(i * piece, piece)}});
  }
  Send(chunks);
  const json encoded = Receive();
  ASSERT_EQ(encoded["answer"], 7);
  const json result = json::parse(encoded["text"].get<std::string>())["result"];
  EXPECT_EQ(result["status"], 0);
  EXPECT_GT(result["value"].get<std::string>().size(), 2000000u);
  EXPECT_GE(chunks_, 3);

  // The page's port closed: its session goes; the host ends with the input.
  Send(Frame(json{{"close", 7}}));
  Send(Frame(Call(7, Request(3, "members", {{"object", 1}}))));
  ::close(in_);
  EXPECT_EQ(Receive(), nullptr);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = 0;
  ::close(out_);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(NativeHostTest, PageConnectionsBeyondTheLimitAreClosedUntilOneGoes) {
  std::string output;
  ASSERT_EQ(Run({"host", "allow", "https://bank.example"}, "", output), 0);
  Start({"--max-connections", "1"});
  Send(Frame(json{{"open", 1}, {"origin", "https://bank.example"}}));
  EXPECT_EQ(Receive(), (json{{"opened", 1}}));
  Send(Frame(json{{"open", 2}, {"origin", "https://bank.example"}}));
  EXPECT_EQ(Receive(),
            (json{{"closed", 2}, {"code", 1013}, {"reason", "too many connections (at most 1)"}}));
  Send(Frame(json{{"close", 1}}) + Frame(json{{"open", 3}, {"origin", "https://bank.example"}}));
  EXPECT_EQ(Receive(), (json{{"opened", 3}}));
}

}  // namespace
}  // namespace quorvel::tools
