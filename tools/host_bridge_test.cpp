// `quorvel host --listen` as browsers and hostile local programs reach it:
// origins, the policy for web pages, and the limits on what a connection sends.
#include <grp.h>
#include <openssl/sha.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

#include "platform/text/base64.h"
#include "tools/bridge_test_client.h"
#include "tools/host_session_fixture.h"

namespace quorvel::tools {
namespace {

constexpr int32_t kAccessDenied = static_cast<int32_t>(0x80070005u);

// AddressSanitizer holds freed memory in quarantine, so an instrumented
// bridge's resident size says nothing of what it keeps.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentSizeTellsWhatIsKept = false;
#else
constexpr bool kResidentSizeTellsWhatIsKept = true;
#endif
const std::string kBank = "https://bank.example";

class BridgeTest : public HostSessionTest {
 protected:
  void TearDown() override {
    Stop();
    HostSessionTest::TearDown();
  }

  // Starts the bridge on a free port and waits for its address line.
  void Start(std::vector<std::string> options = {}) {
    // The test seam is asked for, and a listening host must not offer it.
    std::vector<std::string> environment = ChildEnvironment(true);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> arguments{QUORVEL_PROGRAM, "host", "--listen", "127.0.0.1:0"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    ASSERT_EQ(::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string line;
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    std::smatch match;
    ASSERT_TRUE(std::regex_search(line, match, std::regex("ws://127\\.0\\.0\\.1:([0-9]+)/")))
        << line;
    port_ = static_cast<uint16_t>(std::stoi(match[1]));
  }

  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the bridge did not end cleanly";
    pid_ = 0;
  }

  bool Alive() { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

  // Peak resident memory of the bridge, in KiB.
  long PeakResidentKiB() {
    const std::string status = ReadFile("/proc/" + std::to_string(pid_) + "/status");
    std::smatch match;
    return std::regex_search(status, match, std::regex("VmHWM:\\s+([0-9]+)")) ? std::stol(match[1])
                                                                              : -1;
  }

  int Command(const std::vector<std::string>& arguments) {
    std::string output;
    return Run(arguments, "", output, false);
  }

  // A connected WebSocket for `origin` with a control object (handle 1).
  std::unique_ptr<WsClient> Page(const std::string& origin) {
    auto client = std::make_unique<WsClient>();
    EXPECT_TRUE(client->Connect(port_));
    EXPECT_EQ(client->Handshake(port_, origin), 101) << origin;
    const json created =
        client->Call(Request(0, "create", {{"progid", "Quorvel.DrennicQuorvel2"}}));
    EXPECT_EQ(created["result"]["object"], 1) << created;
    return client;
  }

  static json Request(int id, const std::string& method, json params) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", std::move(params)}};
  }
  static json InvokeRequest(int id, const std::string& member, json args,
                            const char* kind = "method") {
    return Request(id, "invoke",
                   {{"object", 1}, {"member", member}, {"kind", kind}, {"args", args}});
  }

  // The HTTP status of a handshake, or kRefused for a WebSocket the bridge
  // closed at once with the refusal's code.
  static constexpr int kRefused = 4403;
  int HandshakeStatus(std::optional<std::string> origin, std::string host = "") {
    WsClient client;
    if (!client.Connect(port_)) return -1;
    return Outcome(client, client.Handshake(port_, std::move(origin), std::move(host)));
  }
  static int Outcome(WsClient& client, int status) {
    if (status != 101) return status;
    const auto frame = client.ReadFrame(1500);
    if (frame && frame->opcode == 8 && frame->CloseCode() == kRefused &&
        frame->CloseReason() == "refused") {
      return kRefused;
    }
    return status;
  }

  pid_t pid_ = 0;
  uint16_t port_ = 0;
};

TEST_F(BridgeTest, OnlyLoopbackAddressesCanBeListenedOn) {
  for (const char* address : {"0.0.0.0:0", "192.0.2.1:0", "[::]:0"}) {
    EXPECT_EQ(Command({"host", "--listen", address}), 2) << address;
  }
}

TEST_F(BridgeTest, HandshakesAreCheckedByOriginBeforeAnyObjectExists) {
  ASSERT_EQ(Command({"host", "deny", "https://evil.example"}), 0);
  ASSERT_EQ(Command({"host", "allow", kBank}), 0);
  Script({{{"dialog", "approval"}, {"answer", "deny"}},
          {{"dialog", "approval"}, {"answer", "once"}},
          {{"dialog", "approval"}, {"answer", "always"}}});
  Start();
  const std::string own = "http://127.0.0.1:" + std::to_string(port_);
  struct Case {
    std::optional<std::string> origin;
    int status;
  } cases[] = {
      {std::nullopt, 403},
      {"null", 403},
      {"https://evil.example", kRefused},
      {"https://bank.example/path", 403},
      {kBank, 101},
      {"HTTPS://BANK.EXAMPLE", 101},
      {own, 101},                          // the demo page's own origin, never asked
      {"https://new.example", kRefused},   // asked: deny, which is kept
      {"https://new.example", kRefused},   // not asked again
      {"https://once.example", 101},       // asked: once
      {"https://always.example", 101},     // asked: always
      {"https://always.example", 101},     // not asked again
      {"https://once.example", kRefused},  // asked again: the script has run out
      {"https://once.example", kRefused},  // and asked again, since a dismissal is not kept
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HandshakeStatus(c.origin), c.status) << c.origin.value_or("(none)");
  }
  // A page whose own host name was pointed at the loopback address.
  EXPECT_EQ(HandshakeStatus(kBank, "rebound.example:" + std::to_string(port_)), 403);

  std::vector<std::string> asked;
  for (const json& dialog : Dialogs()) asked.push_back(dialog["origin"]);
  EXPECT_EQ(asked, (std::vector<std::string>{"https://new.example", "https://once.example",
                                             "https://always.example", "https://once.example",
                                             "https://once.example"}));
  std::string listing;
  ASSERT_EQ(Run({"host", "list"}, "", listing, false), 0);
  EXPECT_NE(listing.find("allow\thttps://always.example"), std::string::npos) << listing;
  EXPECT_NE(listing.find("deny\thttps://new.example"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("once.example"), std::string::npos) << listing;

  // Denying an allowed origin takes effect at its next handshake.
  ASSERT_EQ(Command({"host", "deny", kBank}), 0);
  EXPECT_EQ(HandshakeStatus(kBank), kRefused);
  // The stored form of an origin leaves out the default port.
  ASSERT_EQ(Command({"host", "allow", "https://port.example:443"}), 0);
  EXPECT_EQ(HandshakeStatus("https://port.example"), 101);
}

TEST_F(BridgeTest, PagesMayNotTurnOnServerModeNameFilesOrReachTheTestSeam) {
  ASSERT_EQ(Command({"host", "allow", kBank}), 0);
  ASSERT_EQ(Command({"host", "allow", "--local-files", "https://trusted.example"}), 0);
  const std::filesystem::path file = root_ / "secret.txt";
  std::ofstream(file) << "secret";
  Start();
  auto page = Page(kBank);
  struct Case {
    json request;
    int code;  // 0: a result
  } cases[] = {
      {InvokeRequest(1, "QVServerMode", {1}, "put"), kAccessDenied},
      {InvokeRequest(2, "QVAddFile", {file.string()}), kAccessDenied},
      {InvokeRequest(3, "QVAddFileForEncrypt", {file.string()}), kAccessDenied},
      {InvokeRequest(4, "QVAttachedVerifySignedFile", {file.string()}), kAccessDenied},
      {InvokeRequest(5, "QVAddFile", {""}), 0},  // the Open dialog, cancelled by the empty script
      {InvokeRequest(6, "QVBase64Encode", {"abc"}), 0},
      {Request(7, "test.setReceivedPlainText", {{"object", 1}, {"text", "x"}}), -32601},
  };
  for (const Case& c : cases) {
    const json answer = page->Call(c.request);
    if (c.code == 0) {
      EXPECT_TRUE(answer.contains("result")) << answer;
    } else {
      EXPECT_EQ(answer["error"]["code"], c.code) << answer;
    }
  }
  auto trusted = Page("https://trusted.example");
  const json added = trusted->Call(InvokeRequest(1, "QVAddFile", {file.string()}));
  EXPECT_EQ(added["result"]["status"], 0) << added;
}

std::string Sha256Hex(std::string_view bytes) {
  unsigned char digest[32];
  SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
  std::string hex;
  for (const unsigned char byte : digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  return hex;
}

TEST_F(BridgeTest, AWebOriginsKeyUsesWaitForConsentAndEveryUseIsInTheHistory) {
  ASSERT_EQ(Command({"demo-pki"}), 0);
  ASSERT_EQ(Command({"host", "allow", kBank}), 0);
  // An envelope for Zhang San, made by openssl.
  std::string listed;
  ASSERT_EQ(Run({"store", "list", "--store", "MY", "--json"}, "", listed), 0);
  std::string zhangSan;
  for (const json& entry : json::parse(listed)) {
    if (entry["subject"] == "CN=Zhang San, O=ZuvirOrori, C=CN") zhangSan = entry["sha1"];
  }
  const std::filesystem::path pem = root_ / "zhang-san.pem";
  ASSERT_EQ(Command({"store", "export", "--store", "MY", zhangSan, "--pem", "--out", pem.string()}),
            0);
  std::ofstream(root_ / "secret.txt", std::ios::binary) << "secret";
  const std::string seal = "openssl cms -encrypt -binary -aes256 -outform DER -in '" +
                           (root_ / "secret.txt").string() + "' -out '" +
                           (root_ / "envelope.der").string() + "' '" + pem.string() + "'";
  ASSERT_EQ(std::system(seal.c_str()), 0);
  const std::string envelope = platform::Base64Encode(ReadFile(root_ / "envelope.der"));

  Script({{{"dialog", "consent"}, {"answer", "cancel"}},
          {{"dialog", "consent"}, {"answer", "confirm"}},
          {{"dialog", "consent"}, {"answer", "confirm"}},
          {{"dialog", "consent"}, {"answer", "confirm"}}});
  Start();
  auto page = Page(kBank);
  struct Case {
    const char* member;
    json args;
    int status;
    int errorNum;
  } cases[] = {
      {"QVAttachedSign", {"CN=Zhang San"}, 1, -10005},  // cancelled: as if none were chosen
      {"QVAttachedSign", {"CN=Zhang San"}, 0, 0},
      {"QVRawSign", {"CN=Zhang San"}, 0, 0},
      {"QVDecryptEnvelop", {envelope}, 0, 0},
  };
  int id = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.member);
    page->Call(InvokeRequest(id++, "QVSetPlainText", {"pay 100"}));
    const json answer = page->Call(InvokeRequest(id++, c.member, c.args));
    EXPECT_EQ(answer["result"]["status"], c.status) << answer;
    EXPECT_EQ(page->Call(InvokeRequest(id++, "errorNum", json::array(), "get"))["result"]["value"],
              c.errorNum);
    EXPECT_EQ(page->Call(InvokeRequest(id++, "errorCode", json::array(), "get"))["result"]["value"],
              0);
  }
  const json decrypted = page->Call(InvokeRequest(id++, "QVGetPlainText", json::array()));
  EXPECT_EQ(decrypted["result"]["value"], "secret") << decrypted;

  // What the user saw: who asks, with which certificate, for what.
  const std::vector<json> dialogs = Dialogs();
  ASSERT_EQ(dialogs.size(), 4u);
  const char* actions[] = {"sign", "sign", "raw-sign", "decrypt"};
  const char* answers[] = {"cancel", "confirm", "confirm", "confirm"};
  for (size_t i = 0; i < dialogs.size(); ++i) {
    EXPECT_EQ(dialogs[i]["kind"], "consent");
    EXPECT_EQ(dialogs[i]["origin"], kBank);
    EXPECT_EQ(dialogs[i]["action"], actions[i]);
    EXPECT_EQ(dialogs[i]["answer"], answers[i]);
    EXPECT_EQ(dialogs[i]["certificate"], "CN=Zhang San, O=ZuvirOrori, C=CN");
  }
  EXPECT_EQ(dialogs[1]["content"], json({{"text", "pay 100"}, {"size", 7}}));
  EXPECT_EQ(dialogs[1]["contentSha256"], Sha256Hex("pay 100"));
  EXPECT_EQ(dialogs[3]["contentSha256"], Sha256Hex(ReadFile(root_ / "envelope.der")));
  Stop();

  // A local client signs with no consent; the history, read by another
  // process, holds both callers' operations.
  const std::vector<json> local =
      Session({Invoke("QVSetPlainText", {"pay 100"}), Invoke("QVAttachedSign", {"CN=Zhang San"})});
  EXPECT_EQ(local[1]["result"]["status"], 0) << local[1];
  EXPECT_EQ(Dialogs().size(), 4u);
  std::string history;
  ASSERT_EQ(Run({"history", "--json"}, "", history), 0);
  const json entries = json::parse(history);
  ASSERT_EQ(entries.size(), 5u) << history;
  const char* outcomes[] = {"cancelled", "signed", "signed", "decrypted", "signed"};
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].size(), 8u) << entries[i];
    EXPECT_EQ(entries[i]["outcome"], outcomes[i]);
    EXPECT_EQ(entries[i]["caller"], i < 4 ? kBank : "local");
    EXPECT_EQ(entries[i]["thumbprint"], zhangSan);
    EXPECT_TRUE(std::regex_match(entries[i]["time"].get<std::string>(),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")));
  }
  EXPECT_EQ(entries[0]["errorNum"], -10005);
  EXPECT_EQ(entries[1]["member"], "QVAttachedSign");
  EXPECT_EQ(entries[1]["contentSha256"], Sha256Hex("pay 100"));
  ASSERT_EQ(Run({"history", "--json", "--caller", "local"}, "", history), 0);
  EXPECT_EQ(json::parse(history).size(), 1u);

  // A bound of two keeps the newest two.
  ASSERT_EQ(
      Command({"reg", "set", "HKEY_CURRENT_USER\\Software\\Quorvel\\History", "MaxEntries", "2"}),
      0);
  Session({Invoke("QVSetPlainText", {"again"}), Invoke("QVAttachedSign", {"CN=Zhang San"})});
  ASSERT_EQ(Run({"history", "--json"}, "", history), 0);
  const json bounded = json::parse(history);
  ASSERT_EQ(bounded.size(), 2u);
  EXPECT_EQ(bounded[1]["contentSha256"], Sha256Hex("again"));
  ASSERT_EQ(Command({"history", "clear"}), 0);
  ASSERT_EQ(Run({"history", "--json"}, "", history), 0);
  EXPECT_EQ(json::parse(history).size(), 0u);
}

TEST_F(BridgeTest, LimitsCloseTheOffendingConnectionWithACodeAndAReason) {
  ASSERT_EQ(Command({"host", "allow", kBank}), 0);
  Start({"--max-connections", "3", "--max-pending", "3", "--max-messages-per-second", "5",
         "--max-frame-bytes", "1048576"});
  auto closeOf = [](WsClient& client) {
    const auto frame = client.CloseFrame();
    return frame ? std::make_pair(frame->CloseCode(), frame->CloseReason())
                 : std::make_pair(0, std::string());
  };
  auto witness = Page(kBank);

  auto binary = Page(kBank);
  binary->SendFrame(2, "abc");
  EXPECT_EQ(closeOf(*binary).first, 1003);

  // Twenty requests written at once: more are waiting than a connection may have.
  auto eager = Page(kBank);
  std::string burst;
  for (int i = 0; i < 20; ++i) {
    burst += WsClient::FrameHeader(1, 2) + "[]";
  }
  eager->Write(burst);
  const auto [pendingCode, pendingReason] = closeOf(*eager);
  EXPECT_EQ(pendingCode, 1008);
  EXPECT_NE(pendingReason.find("waiting"), std::string::npos) << pendingReason;

  // More messages a second than allowed, each answered before the next.
  auto chatty = Page(kBank);
  int answered = 0;
  while (answered < 200 &&
         chatty->Call(InvokeRequest(1, "errorNum", {}, "get")).contains("result")) {
    ++answered;
  }
  // Five a second, the create among them: a few answers, then the close,
  // however slowly the machine answers.
  EXPECT_GE(answered, 3);
  EXPECT_LT(answered, 200);

  auto large = Page(kBank);
  large->SendText(std::string(size_t{1} << 20 | 1, ' '));
  EXPECT_EQ(closeOf(*large).first, 1009);

  auto second = Page(kBank);
  auto third = Page(kBank);
  WsClient fourth;
  ASSERT_TRUE(fourth.Connect(port_));
  ASSERT_EQ(fourth.Handshake(port_, kBank), 101);
  EXPECT_EQ(closeOf(fourth).first, 1013);

  EXPECT_EQ(witness->Call(InvokeRequest(9, "QVBase64Encode", {"ok"}))["result"]["value"], "b2s=\n");
}

TEST_F(BridgeTest, FloodsAndHugeFramesLeaveOtherConnectionsServed) {
  ASSERT_EQ(Command({"host", "allow", kBank}), 0);
  Start({"--max-messages-per-second", "1000000", "--max-pending", "100000"});
  auto flooder = Page(kBank);
  auto witness = Page(kBank);

  // 10,000 frames that are not JSON, in bursts, while the witness keeps calling.
  std::string burst;
  for (int i = 0; i < 500; ++i) burst += WsClient::FrameHeader(1, 5) + "{oops";
  int parseErrors = 0;
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(flooder->Write(burst));
    const json answer = witness->Call(InvokeRequest(round, "QVBase64Encode", {"abc"}));
    EXPECT_EQ(answer["result"]["value"], "YWJj\n") << answer;
  }
  while (parseErrors < 10000) {
    const auto frame = flooder->ReadFrame();
    if (!frame) break;
    if (json::parse(frame->payload)["error"]["code"] == -32700) ++parseErrors;
  }
  EXPECT_EQ(parseErrors, 10000);

  // A frame of 100 MiB against the default limit of 64 MiB: refused while
  // it arrives, without the bridge holding it.
  const long before = PeakResidentKiB();
  WsClient huge;
  ASSERT_TRUE(huge.Connect(port_));
  ASSERT_EQ(huge.Handshake(port_, kBank), 101);
  huge.Write(WsClient::FrameHeader(1, size_t{100} << 20));
  const std::string chunk(size_t{1} << 20, ' ');
  for (int i = 0; i < 100 && huge.Write(chunk); ++i) {
  }
  const auto closed = huge.CloseFrame(10000);
  if (closed) {
    EXPECT_EQ(closed->CloseCode(), 1009);
  }
  EXPECT_LT(PeakResidentKiB() - before, 2 * 64 * 1024) << "KiB before: " << before;

  // A connection that goes away with calls still queued loses them alone.
  {
    auto leaving = Page(kBank);
    std::string calls;
    for (int i = 0; i < 50; ++i) {
      const std::string text =
          InvokeRequest(i, "QVBase64Encode", {std::string(100000, 'x')}).dump();
      calls += WsClient::FrameHeader(1, text.size()) + text;
    }
    leaving->Write(calls);
  }
  EXPECT_EQ(witness->Call(InvokeRequest(99, "QVBase64Encode", {"abc"}))["result"]["value"],
            "YWJj\n");
  EXPECT_TRUE(Alive());
}

TEST_F(BridgeTest, QuestionsWaitApartFromCallsAndAreNeverStoredUnanswered) {
  ASSERT_EQ(Command({"host", "allow", kBank}), 0);
  Script(
      {{{"dialog", "approval"}, {"answer", "open"}}, {{"dialog", "approval"}, {"answer", "open"}}});
  Start({"--approval-timeout", "2", "--max-pending-approvals", "1"});
  auto witness = Page(kBank);
  // Three handshakes of one origin wait on one question...
  std::vector<std::unique_ptr<WsClient>> waiting;
  for (int i = 0; i < 3; ++i) {
    waiting.push_back(std::make_unique<WsClient>());
    ASSERT_TRUE(waiting.back()->Connect(port_));
    ASSERT_TRUE(waiting.back()->SendHandshake(port_, "https://slow.example"));
  }
  // ...while approved pages are served, and an origin beyond the questions
  // that may be open is refused without one.
  EXPECT_EQ(witness->Call(InvokeRequest(1, "QVBase64Encode", {"abc"}))["result"]["value"],
            "YWJj\n");
  EXPECT_EQ(HandshakeStatus("https://other.example"), kRefused);
  // The question's time runs out: each of the three is refused.
  for (auto& client : waiting) EXPECT_EQ(Outcome(*client, client->HandshakeStatus()), kRefused);

  // A question nobody waits for any more closes: the origin is asked anew.
  {
    WsClient leaving;
    ASSERT_TRUE(leaving.Connect(port_));
    ASSERT_TRUE(leaving.SendHandshake(port_, "https://gone.example"));
    for (int i = 0; i < 100 && Dialogs().size() < 2; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(HandshakeStatus("https://gone.example"), kRefused);  // the script has run out
  std::vector<std::string> asked;
  for (const json& dialog : Dialogs()) asked.push_back(dialog["origin"]);
  EXPECT_EQ(asked, (std::vector<std::string>{"https://slow.example", "https://gone.example",
                                             "https://gone.example"}));
  std::string listing;
  ASSERT_EQ(Run({"host", "list"}, "", listing, false), 0);
  EXPECT_EQ(listing, "allow\t" + kBank + "\n");
}

TEST_F(BridgeTest, OpenConnectionsHaveTheirOriginsRightsAsTheyStandAtEachCall) {
  const std::string trusted = "https://trusted.example";
  ASSERT_EQ(Command({"host", "allow", "--local-files", trusted}), 0);
  const std::filesystem::path file = root_ / "transfer.txt";
  std::ofstream(file) << "transfer";
  Start();
  auto page = Page(trusted);
  auto addFile = [&](int id) {
    return page->Call(InvokeRequest(id, "QVAddFile", {file.string()}));
  };
  EXPECT_EQ(addFile(1)["result"]["status"], 0);
  ASSERT_EQ(Command({"host", "allow", trusted}), 0);
  EXPECT_EQ(addFile(2)["error"]["code"], kAccessDenied);
  // Allowing it again does not widen the open connection's rights.
  ASSERT_EQ(Command({"host", "allow", "--local-files", trusted}), 0);
  EXPECT_EQ(addFile(3)["error"]["code"], kAccessDenied);
  ASSERT_EQ(Command({"host", "deny", trusted}), 0);
  ASSERT_TRUE(page->SendText(InvokeRequest(4, "QVBase64Encode", {"abc"}).dump()));
  const auto closed = page->CloseFrame(5000);
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->CloseCode(), kRefused);
}

TEST_F(BridgeTest, ProgramsOfOtherUsersAreRefusedBeforeTheirRequestIsRead) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a client as another user";
  Start();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // As "nobody": the bridge's own page, which the bridge never asks about.
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(3);
    WsClient client;
    if (!client.Connect(port_)) _exit(4);
    const int status = client.Handshake(port_, "http://127.0.0.1:" + std::to_string(port_));
    _exit(status == 0 ? 0 : status == 101 ? 1 : 2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: admitted, 2: answered over HTTP";
  EXPECT_EQ(HandshakeStatus("http://127.0.0.1:" + std::to_string(port_)), 101);
}

TEST_F(BridgeTest, ClientsThatNeverReadOrNeverStopAreBounded) {
  ASSERT_EQ(Command({"host", "allow", kBank}), 0);
  Start({"--send-pause-bytes", "65536", "--max-send-bytes", "16777216", "--max-objects", "3",
         "--max-messages-per-second", "50", "--idle-timeout", "2"});
  auto witness = Page(kBank);
  const json ok = InvokeRequest(9, "QVBase64Encode", {"ok"});

  // Objects: past the most, create fails and the connection lives on.
  for (int id = 1; id <= 2; ++id) {
    EXPECT_TRUE(witness->Call(Request(id, "create", {{"progid", "Quorvel.DrennicQuorvel2"}}))
                    .contains("result"));
  }
  const json refused = witness->Call(Request(3, "create", {{"progid", "Quorvel.DrennicQuorvel2"}}));
  EXPECT_EQ(refused["error"]["code"], -32020) << refused;
  EXPECT_TRUE(witness->Call(Request(4, "release", {{"object", 2}})).contains("result"));
  EXPECT_TRUE(witness->Call(Request(5, "create", {{"progid", "Quorvel.DrennicQuorvel2"}}))
                  .contains("result"));

  // A client that asks for megabytes of answers and reads none of them: its
  // requests wait, the bridge does not grow with them, and nothing is lost.
  const long before = PeakResidentKiB();
  auto reader = Page(kBank);
  json batch = json::array();
  for (int i = 0; i < 200; ++i) batch.push_back(Request(i, "members", {{"object", 1}}));
  const std::string message = batch.dump();
  std::string burst;
  for (int i = 0; i < 20; ++i) burst += WsClient::FrameHeader(1, message.size()) + message;
  ASSERT_TRUE(reader->Write(burst));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(witness->Call(ok)["result"]["value"], "b2s=\n");
  if (kResidentSizeTellsWhatIsKept) {
    EXPECT_LT(PeakResidentKiB() - before, 64 * 1024) << "KiB before: " << before;
  }
  // Each answer starts with a text frame; large ones go on in continuation frames.
  int answers = 0;
  while (answers < 20) {
    const auto frame = reader->ReadFrame(10000);
    ASSERT_TRUE(frame) << answers;
    ASSERT_TRUE(frame->opcode == 1 || frame->opcode == 0)
        << frame->opcode << " " << frame->CloseCode() << " " << frame->CloseReason();
    if (frame->opcode == 1) ++answers;
  }

  // Pings count among the messages of a second.
  auto pinger = Page(kBank);
  std::string pings;
  for (int i = 0; i < 200; ++i) pings += WsClient::FrameHeader(9, 4) + "ping";
  pinger->Write(pings);
  const auto pingClose = pinger->CloseFrame(5000);
  ASSERT_TRUE(pingClose);
  EXPECT_EQ(pingClose->CloseCode(), 1008);

  // Request heads that never finish make way for new ones.
  std::vector<std::unique_ptr<WsClient>> silent;
  for (int i = 0; i < 40; ++i) {
    silent.push_back(std::make_unique<WsClient>());
    ASSERT_TRUE(silent.back()->Connect(port_));
    silent.back()->Write("GET / HTTP/1.1\r\n");
  }
  EXPECT_EQ(HandshakeStatus(kBank), 101);

  // A connection with nothing asked is closed once idle.
  auto idle = Page(kBank);
  const auto idleClose = idle->CloseFrame(6000);
  ASSERT_TRUE(idleClose);
  EXPECT_EQ(idleClose->CloseCode(), 1001);
  EXPECT_TRUE(Alive());
}

}  // namespace
}  // namespace quorvel::tools
