#include "tools/demo_pki_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "platform/certificates/name_string.h"
#include "platform/certificates/test_certificates.h"
#include "platform/crypto/key_openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"
#include "platform/stores/key_container.h"
#include "platform/text/code_page.h"
#include "tests/temporary_home.h"
#include "tools/command_test_support.h"
#include "tools/store_command.h"

namespace quorvel::tools {
namespace {

using cli_test::Outcome;

Outcome RunCommand(std::vector<std::string> arguments) {
  return cli_test::RunInProcess(std::move(arguments), AddStoreCommand, AddDemoPkiCommand);
}

nlohmann::json List(const std::string& store) {
  const Outcome listed = RunCommand({"store", "list", "--store", store, "--json"});
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  return nlohmann::json::parse(listed.out);
}

const nlohmann::json* WithSubject(const nlohmann::json& entries, const std::string& subject) {
  for (const auto& entry : entries) {
    if (entry["subject"] == subject) return &entry;
  }
  return nullptr;
}

class DemoPkiTest : public platform::TemporaryHome {
 protected:
  nlohmann::json Made() {
    const Outcome run = RunCommand({"demo-pki", "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return nlohmann::json::parse(run.out);
  }
};

TEST_F(DemoPkiTest, BuildsTheDocumentedHierarchy) {
  const nlohmann::json made = Made();
  const nlohmann::json my = List("MY");
  const nlohmann::json ca = List("CA");
  const nlohmann::json root = List("ROOT");
  const nlohmann::json book = List("AddressBOOK");

  ASSERT_EQ(root.size(), 1u);
  ASSERT_EQ(ca.size(), 1u);
  EXPECT_EQ(ca[0]["subject"], "O=ZuvirOrori, OU=config, CN=ZAZU");
  EXPECT_EQ(ca[0]["issuer"], root[0]["subject"]);

  const auto* zhangSan = WithSubject(my, "CN=Zhang San, O=ZuvirOrori, C=CN");
  const auto* zhangWei = WithSubject(my, "C=CN, O=ZuvirOrori, CN=Zhang Wei");
  ASSERT_TRUE(zhangSan && zhangWei);
  EXPECT_EQ((*zhangSan)["issuer"], "O=ZuvirOrori, OU=config, CN=ZAZU");
  EXPECT_EQ((*zhangSan)["keyProvider"]["keySpec"], "exchange");
  EXPECT_EQ((*zhangWei)["keyProvider"]["keySpec"], "signature");
  // The serial whose first octet is 0x9A keeps the sign octet of its encoding.
  EXPECT_EQ((*zhangWei)["serial"], "009A 3144 02");
  EXPECT_TRUE(WithSubject(my, "C=CN, O=ZuvirOrori, CN=张三丰"));
  EXPECT_TRUE(WithSubject(my, "C=CN, O=ZuvirOrori, CN=李四"));

  // Two subjects contain "CN=Zhang".
  std::size_t zhangs = 0;
  for (const auto& entry : my) {
    if (entry["subject"].get<std::string>().find("CN=Zhang") != std::string::npos) ++zhangs;
  }
  EXPECT_EQ(zhangs, 2u);

  const auto* expired = WithSubject(my, "C=CN, O=ZuvirOrori, CN=Expired User");
  ASSERT_TRUE(expired);
  EXPECT_EQ((*expired)["notAfter"], "2016-01-01 00:00:00GMT");
  const auto* noKey = WithSubject(my, "C=CN, O=ZuvirOrori, CN=No Key Holder");
  ASSERT_TRUE(noKey);
  EXPECT_TRUE((*noKey)["keyProvider"].is_null());
  const auto* orphan = WithSubject(my, "C=CN, O=Elsewhere, CN=Orphan User");
  ASSERT_TRUE(orphan);
  EXPECT_FALSE(WithSubject(ca, (*orphan)["issuer"]));
  EXPECT_FALSE(WithSubject(root, (*orphan)["issuer"]));

  // The revoked certificate is on ZAZU's CRL in CA.
  const auto* revoked = WithSubject(my, "C=CN, O=ZuvirOrori, CN=Revoked User");
  ASSERT_TRUE(revoked);
  const Outcome crls = RunCommand({"store", "list-crls", "--store", "CA", "--json"});
  ASSERT_EQ(crls.exitCode, 0);
  const nlohmann::json crlList = nlohmann::json::parse(crls.out);
  ASSERT_EQ(crlList.size(), 1u);
  EXPECT_EQ(crlList[0]["issuer"], "O=ZuvirOrori, OU=config, CN=ZAZU");
  EXPECT_EQ(crlList[0]["revoked"], nlohmann::json::array({"1007"}));
  EXPECT_EQ((*revoked)["serial"], "1007");

  EXPECT_EQ(book.size(), 2u);
  for (const auto& entry : book) EXPECT_TRUE(entry["keyProvider"].is_null());

  // The 1024-bit key is in its container with the specification the property names.
  const auto* legacy = WithSubject(my, "C=CN, O=ZuvirOrori, CN=Legacy Key 1024");
  ASSERT_TRUE(legacy);
  std::unique_ptr<platform::KeyContainer> container;
  ASSERT_EQ(platform::KeyContainer::Acquire(
                platform::Utf8ToUtf16((*legacy)["keyProvider"]["container"].get<std::string>()),
                platform::kMsBaseProvider, platform::kProvRsaFull, 0, container),
            platform::error::kOk);
  platform::Key key;
  ASSERT_EQ(container->GetUserKey(platform::kAtKeyExchange, key), platform::error::kOk);
  EXPECT_EQ(EVP_PKEY_get_bits(platform::PkeyOf(key)), 1024);

  // --json lists every certificate made, the unstored issuer of the orphan included.
  EXPECT_EQ(made.size(), my.size() + ca.size() + root.size() + book.size() + 1);
}

TEST_F(DemoPkiTest, SecondRunReplacesTheDemoAndKeepsEverythingElse) {
  // A certificate of the user's own, not made by demo-pki.
  platform::EvpPkeyPtr key = platform::testing::MakeRsaKey();
  platform::testing::CertificateSpec spec;
  spec.subject = platform::testing::Name({platform::testing::Attr("2.5.4.3", "Mine")});
  const platform::Bytes der = platform::testing::MakeCertificate(spec, key.get(), key.get());
  const std::string file = (root_ / "mine.cer").string();
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(der.data()), static_cast<std::streamsize>(der.size()));

  Made();
  ASSERT_EQ(RunCommand({"store", "import", file}).exitCode, 0);
  const std::size_t firstCount = List("MY").size();
  const nlohmann::json firstCa = List("CA");

  Made();
  const nlohmann::json my = List("MY");
  EXPECT_EQ(my.size(), firstCount);
  EXPECT_TRUE(WithSubject(my, "CN=Mine"));
  const nlohmann::json ca = List("CA");
  ASSERT_EQ(ca.size(), 1u);
  EXPECT_NE(ca[0]["sha1"], firstCa[0]["sha1"]);  // fresh keys, fresh certificates
  EXPECT_EQ(List("ROOT").size(), 1u);
  EXPECT_EQ(List("AddressBOOK").size(), 2u);
  const Outcome crls = RunCommand({"store", "list-crls", "--store", "CA", "--json"});
  EXPECT_EQ(nlohmann::json::parse(crls.out).size(), 1u);

  // Every key-provider property names a key that exists.
  for (const auto& entry : my) {
    if (entry["keyProvider"].is_null()) continue;
    std::unique_ptr<platform::KeyContainer> container;
    ASSERT_EQ(platform::KeyContainer::Acquire(
                  platform::Utf8ToUtf16(entry["keyProvider"]["container"].get<std::string>()),
                  platform::kMsBaseProvider, platform::kProvRsaFull, 0, container),
              platform::error::kOk);
    platform::Key stored;
    const uint32_t spec2 = entry["keyProvider"]["keySpec"] == "signature"
                               ? platform::kAtSignature
                               : platform::kAtKeyExchange;
    EXPECT_EQ(container->GetUserKey(spec2, stored), platform::error::kOk);
  }
}

}  // namespace
}  // namespace quorvel::tools
