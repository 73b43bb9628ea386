// Test support for the engines: a private demo home (see certs/demo_home_test.h)
// with helpers to reach its certificates, run the `openssl` tool and look at
// results.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "certs/demo_home_test.h"
#include "engine/engine.h"
#include "platform/stores/cert_store.h"
#include "platform/text/base64.h"

namespace quorvel::engine::testing {

inline constexpr std::string_view kSha1Oid = "1.3.14.3.2.26";

class EngineTest : public certs::testing::DemoHomeTest {
 protected:
  SignSettings Settings(int32_t threshold = 51200) const {
    SignSettings settings;
    settings.compressionThreshold = threshold;
    settings.digestOid = std::string(kSha1Oid);
    settings.chooserTexts = certs::testing::DefaultTexts();
    return settings;
  }

  // The certificate of store `store` whose subject contains `part`.
  static platform::CertContextRef Cert(std::string_view store, std::u16string_view part) {
    certs::testing::Stores stores = Open({store});
    return Find(stores[0], part);
  }

  // The DER of that certificate written to a file of the test, as PEM.
  std::string CertFile(std::string_view store, std::u16string_view part,
                       const std::string& name) const {
    const platform::CertContextRef context = Cert(store, part);
    if (!context) return {};
    const auto der = context->certificate().Der();
    const std::string encoded = platform::Base64Encode(
        std::string_view(reinterpret_cast<const char*>(der.data()), der.size()));
    const std::filesystem::path path = root_ / name;
    std::ofstream(path) << "-----BEGIN CERTIFICATE-----\n"
                        << encoded << "-----END CERTIFICATE-----\n";
    return path.string();
  }

  std::string WriteFile(const std::string& name, std::string_view bytes) const {
    const std::filesystem::path path = root_ / name;
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  std::string ReadFile(const std::string& name) const {
    std::ifstream in(root_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // Runs a shell command with its output in a file of the test; its exit status.
  int Run(const std::string& command) const {
    const std::string full = command + " >" + (root_ / "command.out").string() + " 2>&1";
    const int status = std::system(full.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string CommandOutput() const { return ReadFile("command.out"); }

  static std::string Decode(std::string_view base64) {
    std::string bytes;
    EXPECT_TRUE(platform::Base64Decode(base64, bytes));
    return bytes;
  }

  // The subject detail of `details`, as UTF-8.
  static std::string SubjectOf(const CertDetails& details) {
    return details[0] ? platform::Utf16ToUtf8(*details[0]) : "(none)";
  }
};

}  // namespace quorvel::engine::testing
