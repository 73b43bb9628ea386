// Keys on a SoftHSM2 token, used through `quorvel host --stdio`: each test
// makes its own token in a private folder, puts an RSA key and its
// certificate on it with pkcs11-tool, and registers the module.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/pem.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tools/host_signing_fixture.h"

namespace quorvel::tools {
namespace {

constexpr char kPin[] = "271828";
constexpr char kTokenLabel[] = "Test Token";

class HostTokenTest : public HostSigningTest {
 protected:
  void SetUp() override {
    HostSigningTest::SetUp();
    std::filesystem::create_directories(root_ / "tokens");
    const std::filesystem::path conf = root_ / "softhsm2.conf";
    std::ofstream(conf) << "directories.tokendir = " << (root_ / "tokens").string()
                        << "\nobjectstore.backend = file\nlog.level = ERROR\n";
    ::setenv("SOFTHSM2_CONF", conf.c_str(), 1);
    const std::string dir = root_.string();
    ASSERT_EQ(
        Shell("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + dir + "/key.pem -out " + dir +
              "/cert.pem -subj /CN=Token\\ User -days 30 "
              "-addext keyUsage=digitalSignature,keyEncipherment 2>/dev/null && "
              "openssl pkcs8 -topk8 -nocrypt -in " +
              dir + "/key.pem -outform DER -out " + dir + "/key.der && openssl x509 -in " + dir +
              "/cert.pem -outform DER -out " + dir + "/cert.der"),
        0);
    ASSERT_EQ(Shell(std::string("softhsm2-util --init-token --free --label '") + kTokenLabel +
                    "' --pin " + kPin + " --so-pin 5678 >/dev/null"),
              0);
    for (const char* object : {"key.der --type privkey", "cert.der --type cert"}) {
      ASSERT_EQ(Pkcs11Tool(std::string("--write-object ") + dir + "/" + object +
                           " --id 01 --label 'Token User' >/dev/null"),
                0);
    }
    std::string output;
    ASSERT_EQ(Run({"token", "add", QUORVEL_SOFTHSM2_MODULE, "--label", "softhsm"}, "", output), 0)
        << output;
  }

  int Pkcs11Tool(const std::string& arguments, const std::string& redirect = "") {
    return Shell(std::string("pkcs11-tool --module ") + QUORVEL_SOFTHSM2_MODULE +
                 " --token-label '" + kTokenLabel + "' --login --pin " + kPin + " " + arguments +
                 redirect);
  }

  static json PinAnswer(const std::string& pin) { return {{"dialog", "pin"}, {"pin", pin}}; }

  // The token's folder, which taking it away and putting it back removes and
  // inserts the token.
  std::filesystem::path TokenFolder() {
    for (const auto& entry : std::filesystem::directory_iterator(root_ / "tokens")) {
      return entry.path();
    }
    ADD_FAILURE() << "no token";
    return {};
  }

  bool OpensslVerifies(const std::string& der, const std::string& content) {
    const auto message = Write("message.der", der);
    const auto out = root_ / "verified.bin";
    return Shell("openssl cms -verify -binary -inform DER -in " + message.string() + " -CAfile " +
                 (root_ / "cert.pem").string() + " -out " + out.string() + " 2>/dev/null") == 0 &&
           ReadFile(out) == content;
  }
};

// A host process driven one request at a time, so that the token can change
// between two calls.
class HostProcess {
 public:
  HostProcess(const std::vector<std::string>& environment) {
    int toChild[2];
    int fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return;
    std::vector<std::string> copy = environment;
    std::vector<char*> envp;
    for (std::string& entry : copy) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string program = QUORVEL_PROGRAM;
    std::string host = "host";
    std::string stdio = "--stdio";
    char* argv[] = {program.data(), host.data(), stdio.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, toChild[1]);
    posix_spawn_file_actions_addclose(&actions, fromChild[0]);
    if (::posix_spawn(&child_, program.c_str(), &actions, nullptr, argv, envp.data()) != 0) {
      child_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    in_ = ::fdopen(toChild[1], "w");
    out_ = ::fdopen(fromChild[0], "r");
  }
  ~HostProcess() { Close(); }

  // Ends the session; the host's exit status, or -1.
  int Close() {
    if (in_ != nullptr) std::fclose(std::exchange(in_, nullptr));
    if (out_ != nullptr) std::fclose(std::exchange(out_, nullptr));
    int status = 0;
    if (child_ <= 0 || ::waitpid(std::exchange(child_, -1), &status, 0) <= 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  json Call(const std::string& method, json params) {
    const json request = {
        {"jsonrpc", "2.0"}, {"id", ++id_}, {"method", method}, {"params", params}};
    std::fprintf(in_, "%s\n", request.dump().c_str());
    std::fflush(in_);
    std::string line;
    for (int c = std::fgetc(out_); c != EOF && c != '\n'; c = std::fgetc(out_)) line += char(c);
    return line.empty() ? json() : json::parse(line);
  }
  json Invoke(const std::string& member, json args = json::array(), const char* kind = nullptr) {
    json params = {{"object", 1}, {"member", member}, {"args", std::move(args)}};
    if (kind != nullptr) params["kind"] = kind;
    return Call("invoke", params)["result"];
  }

 private:
  pid_t child_ = -1;
  FILE* in_ = nullptr;
  FILE* out_ = nullptr;
  int id_ = 0;
};

TEST_F(HostTokenTest, SigningMembersUseTheTokenKeyAfterThePinAndTheHomeKeepsNoCopy) {
  Script({PinAnswer(kPin), PinAnswer(kPin), PinAnswer(kPin)});
  const std::string content = "pay 100.00 to 6222 0000 1234";
  const std::vector<json> r =
      Session({SetPlainText(content), Invoke("QVAttachedSign", {"CN=Token User"}),
               SetPlainText(content), Invoke("QVAdvanceAttachedSign", {"CN=Token User"}),
               SetPlainText(content), Invoke("QVRawSign", {"CN=Token User"})});
  for (const int signature : {1, 3, 5}) ASSERT_EQ(Status(r[signature]), 0) << r[signature];
  EXPECT_TRUE(OpensslVerifies(Decoded(r[1]), content));
  EXPECT_TRUE(OpensslVerifies(Decoded(r[3]), content));
  // The raw signature is PKCS#1 v1.5 over the content's SHA-1.
  const auto raw = Write("raw.sig", Decoded(r[5]));
  const auto data = Write("content.txt", content);
  EXPECT_EQ(Shell("openssl x509 -in " + (root_ / "cert.pem").string() + " -pubkey -noout > " +
                  (root_ / "pub.pem").string() + " && openssl dgst -sha1 -verify " +
                  (root_ / "pub.pem").string() + " -signature " + raw.string() + " " +
                  data.string() + " >/dev/null"),
            0);

  // One PIN dialog per operation, naming the token; the log never holds the PIN.
  const std::vector<json> dialogs = Dialogs();
  ASSERT_EQ(dialogs.size(), 3u);
  for (const json& dialog : dialogs) {
    EXPECT_EQ(dialog["kind"], "pin");
    EXPECT_EQ(dialog["token"], kTokenLabel);
    EXPECT_EQ(dialog["answer"], "entered");
  }
  EXPECT_EQ(ReadFile(log_).find(kPin), std::string::npos);

  // The key is sensitive and cannot be extracted from the token...
  const auto objects = root_ / "objects.txt";
  ASSERT_EQ(Pkcs11Tool("--list-objects --type privkey", " > " + objects.string()), 0);
  const std::string listed = ReadFile(objects);
  EXPECT_NE(listed.find("sensitive"), std::string::npos) << listed;
  EXPECT_EQ(listed.find(", extractable"), std::string::npos) << listed;
  // ...and nothing of it, nor the certificate, was written into the home.
  FILE* pem = std::fopen((root_ / "key.pem").c_str(), "r");
  ASSERT_NE(pem, nullptr);
  EVP_PKEY* key = PEM_read_PrivateKey(pem, nullptr, nullptr, nullptr);
  std::fclose(pem);
  ASSERT_NE(key, nullptr);
  BIGNUM* prime = nullptr;
  ASSERT_EQ(EVP_PKEY_get_bn_param(key, "rsa-factor1", &prime), 1);
  std::string primeBytes(BN_num_bytes(prime), '\0');
  BN_bn2bin(prime, reinterpret_cast<unsigned char*>(primeBytes.data()));
  BN_free(prime);
  EVP_PKEY_free(key);
  const std::string certificate = ReadFile(root_ / "cert.der");
  for (const auto& file : std::filesystem::recursive_directory_iterator(root_ / "home")) {
    if (!file.is_regular_file()) continue;
    const std::string bytes = ReadFile(file.path());
    EXPECT_EQ(bytes.find(primeBytes), std::string::npos) << file.path();
    EXPECT_EQ(bytes.find(certificate), std::string::npos) << file.path();
  }
}

TEST_F(HostTokenTest, PinFailuresAndARemovedTokenHaveTheirOwnNumbers) {
  // Without the token no certificate matches, and the chooser is offered.
  Script({PinAnswer(kPin),
          PinAnswer("000000"),
          {{"dialog", "pin"}, {"cancel", true}},
          {{"dialog", "chooser"}, {"actions", {"cancel"}}},
          PinAnswer(kPin)});
  HostProcess host(ChildEnvironment(false));
  ASSERT_EQ(host.Call("create", {{"progid", "Quorvel.DrennicQuorvel2"}})["result"]["object"], 1);
  struct Outcome {
    int number;
    std::string message;
    uint32_t platformValue;
  };
  auto sign = [&] {
    host.Invoke("QVSetPlainText", {"pay"});
    const json signature = host.Invoke("QVAttachedSign", {"CN=Token User"});
    Outcome outcome{host.Invoke("errorNum", {}, "get")["value"].get<int>(),
                    host.Invoke("errMsg", {}, "get")["value"].get<std::string>(),
                    static_cast<uint32_t>(host.Invoke("errorCode", {}, "get")["value"].get<int>())};
    EXPECT_EQ(signature["status"], outcome.number == 0 ? 0 : 1);
    return outcome;
  };
  const Outcome signedOk = sign();
  EXPECT_EQ(signedOk.number, 0);
  const Outcome wrongPin = sign();
  EXPECT_EQ(wrongPin.number, -10020);
  EXPECT_EQ(wrongPin.message, "签名失败");
  EXPECT_EQ(wrongPin.platformValue, 0x8010006Bu);
  const Outcome cancelled = sign();
  EXPECT_EQ(cancelled.number, -10004);
  EXPECT_EQ(cancelled.message, "用户取消");
  EXPECT_EQ(cancelled.platformValue, 0x8010006Eu);

  // A token taken away takes its certificate out of MY; back in, it signs again.
  const std::filesystem::path folder = TokenFolder();
  std::filesystem::rename(folder, root_ / "away");
  const Outcome removed = sign();
  EXPECT_EQ(removed.number, -10005);
  EXPECT_EQ(removed.message, "签名失败");
  std::filesystem::rename(root_ / "away", folder);
  EXPECT_EQ(sign().number, 0);
  EXPECT_EQ(Dialogs().size(), 5u);
  EXPECT_EQ(host.Close(), 0);
}

TEST_F(HostTokenTest, OpensAnOpensslEnvelopeForTheTokenCertificate) {
  Script(json::array({PinAnswer(kPin)}));
  const auto plain = Write("plain.txt", "balance 8,000.00");
  const auto envelope = root_ / "envelope.der";
  ASSERT_EQ(Shell("openssl cms -encrypt -binary -aes-128-cbc -in " + plain.string() +
                  " -outform DER -out " + envelope.string() + " " + (root_ / "cert.pem").string()),
            0);
  const std::vector<json> r =
      Session({Invoke("QVDecryptEnvelop", {platform::Base64Encode(ReadFile(envelope))}),
               Invoke("QVGetPlainText")});
  ASSERT_EQ(Status(r[0]), 0) << r[0];
  EXPECT_EQ(Value(r[1]), "balance 8,000.00");
}

TEST_F(HostTokenTest, ListsTheTokenAndMarksItsCertificateInMy) {
  std::string output;
  ASSERT_EQ(Run({"token", "list"}, "", output), 0);
  EXPECT_NE(output.find(std::string("module softhsm: ") + QUORVEL_SOFTHSM2_MODULE),
            std::string::npos)
      << output;
  EXPECT_NE(output.find(std::string("token ") + kTokenLabel), std::string::npos) << output;
  EXPECT_NE(output.find("certificate CN=Token User (id 01, label Token User)"), std::string::npos)
      << output;
  ASSERT_EQ(Run({"store", "list", "--store", "MY", "--json"}, "", output), 0);
  const json entries = json::parse(output);
  ASSERT_FALSE(entries.empty());
  // After the home's own certificates, which name no token.
  const json& last = entries.back();
  EXPECT_EQ(last["subject"], "CN=Token User");
  EXPECT_EQ(last["token"]["label"], kTokenLabel);
  EXPECT_EQ(last["token"]["module"], QUORVEL_SOFTHSM2_MODULE);
  for (std::size_t i = 0; i + 1 < entries.size(); ++i) EXPECT_TRUE(entries[i]["token"].is_null());

  // The chooser lists it with the others and names its token.
  Script(json::array({{{"dialog", "chooser"}, {"actions", {"cancel"}}}}));
  Session({SetPlainText("x"), Invoke("QVAttachedSign", {""})});
  const std::vector<json> choosers = ChooserDialogs();
  ASSERT_EQ(choosers.size(), 1u);
  EXPECT_TRUE(choosers[0]["information"].get<std::string>().ends_with(
      std::string("\nOn hardware token: ") + kTokenLabel))
      << choosers[0];
  EXPECT_NE(choosers[0]["rows"].dump().find("Token User"), std::string::npos) << choosers[0];

  ASSERT_EQ(Run({"token", "remove", "softhsm"}, "", output), 0);
  ASSERT_EQ(Run({"store", "list", "--store", "MY", "--json"}, "", output), 0);
  EXPECT_EQ(json::parse(output).size(), entries.size() - 1);
  EXPECT_EQ(Run({"token", "remove", "softhsm"}, "", output), 1);
}

}  // namespace
}  // namespace quorvel::tools
