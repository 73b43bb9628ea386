// The fixture of the signing tests: a host session over a copy of the demo
// PKI home, with helpers for the answers and for the `openssl` tool.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/text/base64.h"
#include "tools/host_session_fixture.h"

namespace quorvel::tools {

using Call = std::pair<std::string, json>;

class HostSigningTest : public HostSessionTest {
 protected:
  void SetUp() override {
    HostSessionTest::SetUp();
    std::filesystem::copy(QUORVEL_DEMO_HOME, root_ / "home",
                          std::filesystem::copy_options::recursive);
  }

  static Call Put(const std::string& member, json value) {
    return Invoke(member, json::array({std::move(value)}), "put");
  }
  static Call SetPlainText(const std::string& text) { return Invoke("QVSetPlainText", {text}); }
  static Call CertInfo(int type) { return Invoke("QVGetSignerCertInfo", {type}); }

  static json Value(const json& response) { return response["result"]["value"]; }
  static int Status(const json& response) { return response["result"]["status"].get<int>(); }

  static std::string Decoded(const json& response) {
    std::string bytes;
    EXPECT_TRUE(platform::Base64Decode(Value(response).get<std::string>(), bytes));
    return bytes;
  }

  std::filesystem::path Write(const std::string& name, const std::string& bytes) {
    const std::filesystem::path path = root_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  // The demo root and ZAZU in PEM, as a relying party would have them.
  std::filesystem::path TrustAnchors() {
    std::string output;
    std::string pem;
    for (const char* store : {"ROOT", "CA"}) {
      EXPECT_EQ(Run({"store", "list", "--store", store, "--json"}, "", output), 0);
      for (const json& entry : json::parse(output)) {
        std::string exported;
        EXPECT_EQ(
            Run({"store", "export", "--store", store, entry["sha1"].get<std::string>(), "--pem"},
                "", exported),
            0);
        pem += exported;
      }
    }
    return Write("anchors.pem", pem);
  }

  // The thumbprint of the certificate of `store` whose subject contains `part`.
  std::string Sha1Of(const std::string& store, const std::string& part) {
    std::string output;
    EXPECT_EQ(Run({"store", "list", "--store", store, "--json"}, "", output), 0);
    for (const json& entry : json::parse(output)) {
      if (entry["subject"].get<std::string>().find(part) != std::string::npos) {
        return entry["sha1"];
      }
    }
    ADD_FAILURE() << "no certificate with " << part << " in " << store;
    return {};
  }

  // The DER of that certificate.
  std::string CertificateDer(const std::string& store, const std::string& part) {
    const std::string sha1 = Sha1Of(store, part);
    if (sha1.empty()) return {};
    std::string pem;
    EXPECT_EQ(Run({"store", "export", "--store", store, sha1, "--pem"}, "", pem), 0);
    const size_t begin = pem.find('\n');
    const size_t end = pem.find("-----END");
    std::string der;
    EXPECT_TRUE(begin != std::string::npos && end != std::string::npos &&
                platform::Base64Decode(pem.substr(begin + 1, end - begin - 1), der));
    return der;
  }

  int Shell(const std::string& command) { return std::system(command.c_str()); }

  std::vector<json> ChooserDialogs() {
    std::vector<json> choosers;
    for (const json& dialog : Dialogs()) {
      if (dialog["kind"] == "chooser") choosers.push_back(dialog);
    }
    return choosers;
  }
};

}  // namespace quorvel::tools
