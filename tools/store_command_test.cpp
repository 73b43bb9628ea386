#include "tools/store_command.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/certificates/test_certificates.h"
#include "platform/crypto/key_openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"
#include "platform/stores/key_container.h"
#include "platform/text/code_page.h"
#include "tests/temporary_home.h"
#include "tools/command_test_support.h"

extern char** environ;

namespace quorvel::tools {
namespace {

using platform::Bytes;
using platform::testing::Attr;
using platform::testing::Name;

using cli_test::Outcome;

Outcome RunStore(std::vector<std::string> arguments) {
  return cli_test::RunInProcess(std::move(arguments), AddStoreCommand);
}

pid_t Spawn(const std::vector<std::string>& arguments) {
  std::vector<std::string> copies = arguments;
  std::string program = QUORVEL_STORE_DRIVER;
  std::vector<char*> argv{program.data()};
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  EXPECT_EQ(::waitpid(pid, &status, 0), pid);
  return status;
}

class StoreCommandTest : public platform::TemporaryHome {
 protected:
  void SetUp() override {
    TemporaryHome::SetUp();
    key_ = platform::testing::MakeRsaKey();
  }

  Bytes MakeCertificate(std::string_view cn, Bytes serial = {0x2A, 0x01}) {
    platform::testing::CertificateSpec spec;
    spec.subject = Name({Attr("2.5.4.6", "CN", platform::testing::kTagPrintable),
                         Attr("2.5.4.10", "ZuvirOrori"), Attr("2.5.4.3", cn)});
    spec.serial = std::move(serial);
    return platform::testing::MakeCertificate(spec, key_.get(), key_.get());
  }

  std::string WriteFile(const std::string& name, const std::string& data) {
    const std::string path = (root_ / name).string();
    std::ofstream(path, std::ios::binary) << data;
    return path;
  }

  std::string WritePemCertificate(const std::string& name, const Bytes& der) {
    const unsigned char* cursor = der.data();
    platform::X509Ptr x509(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
    platform::BioPtr bio(BIO_new(BIO_s_mem()));
    EXPECT_EQ(PEM_write_bio_X509(bio.get(), x509.get()), 1);
    char* text = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &text);
    return WriteFile(name, std::string(text, static_cast<std::size_t>(length)));
  }

  std::string WritePemKey(const std::string& name, EVP_PKEY* key) {
    platform::BioPtr bio(BIO_new(BIO_s_mem()));
    EXPECT_EQ(PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr), 1);
    char* text = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &text);
    return WriteFile(name, std::string(text, static_cast<std::size_t>(length)));
  }

  // A PKCS#12 file made by the openssl command, as users make them.
  std::string MakePkcs12(const Bytes& certificate, const std::string& password,
                         const std::string& options = "") {
    const std::string cert = WritePemCertificate("p12-cert.pem", certificate);
    const std::string key = WritePemKey("p12-key.pem", key_.get());
    const std::string file = (root_ / "bundle.p12").string();
    const std::string command = "openssl pkcs12 -export -in '" + cert + "' -inkey '" + key +
                                "' -out '" + file + "' -passout pass:" + password + " " + options +
                                " 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return file;
  }

  nlohmann::json ListJson(const std::string& store = "MY") {
    const Outcome listed = RunStore({"store", "list", "--store", store, "--json"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    return nlohmann::json::parse(listed.out);
  }

  platform::EvpPkeyPtr key_;
};

TEST_F(StoreCommandTest, Pkcs12ImportListsAndExportsTheSameCertificate) {
  const Bytes der = MakeCertificate("Zhang San", {0x0A, 0x0B, 0x0C});
  const std::string file = MakePkcs12(der, "s3cret");

  const Outcome imported = RunStore({"store", "import", file, "--password", "s3cret"});
  ASSERT_EQ(imported.exitCode, 0) << imported.err;

  const nlohmann::json listed = ListJson();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0]["subject"], "C=CN, O=ZuvirOrori, CN=Zhang San");
  EXPECT_EQ(listed[0]["serial"], "0A0B 0C");
  EXPECT_EQ(listed[0]["keyProvider"]["keySpec"], "exchange");
  EXPECT_EQ(listed[0]["keyProvider"]["providerType"], 1);

  // The key is in the container the property names.
  std::unique_ptr<platform::KeyContainer> container;
  ASSERT_EQ(platform::KeyContainer::Acquire(
                platform::Utf8ToUtf16(listed[0]["keyProvider"]["container"].get<std::string>()),
                platform::kMsEnhancedProvider, platform::kProvRsaFull, 0, container),
            platform::error::kOk);
  platform::Key stored;
  ASSERT_EQ(container->GetUserKey(platform::kAtKeyExchange, stored), platform::error::kOk);
  EXPECT_EQ(EVP_PKEY_eq(platform::PkeyOf(stored), key_.get()), 1);

  const std::string exported = (root_ / "out.cer").string();
  const Outcome exportedRun = RunStore({"store", "export", "--store", "my",
                                        listed[0]["sha1"].get<std::string>(), "--out", exported});
  ASSERT_EQ(exportedRun.exitCode, 0) << exportedRun.err;
  std::ifstream in(exported, std::ios::binary);
  const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, der);
}

TEST_F(StoreCommandTest, Pkcs12WithLegacyEncryptionImportsAsSignatureKey) {
  // RC2-40 and 3DES, as older exports make them.
  const Bytes der = MakeCertificate("Old Export");
  const std::string file = MakePkcs12(der, "old", "-legacy");
  const Outcome imported =
      RunStore({"store", "import", file, "--password", "old", "--key-spec", "signature"});
  ASSERT_EQ(imported.exitCode, 0) << imported.err;
  const nlohmann::json listed = ListJson();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0]["subject"], "C=CN, O=ZuvirOrori, CN=Old Export");
  EXPECT_EQ(listed[0]["keyProvider"]["keySpec"], "signature");
}

TEST_F(StoreCommandTest, ImportsPemCertificateWithDerKeyAsSignatureKey) {
  const std::string cert = WritePemCertificate("c.pem", MakeCertificate("Zhang Wei"));
  Bytes pkcs8;
  ASSERT_EQ(platform::EncodePrivateKey(key_.get(), pkcs8), platform::error::kOk);
  const std::string key = WriteFile("k.der", std::string(pkcs8.begin(), pkcs8.end()));
  const Outcome imported = RunStore({"store", "import", cert, "--key", key, "--key-spec",
                                     "signature", "--container", "zhang-wei", "--store", "MY"});
  ASSERT_EQ(imported.exitCode, 0) << imported.err;
  const nlohmann::json listed = ListJson();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0]["keyProvider"]["keySpec"], "signature");
  EXPECT_EQ(listed[0]["keyProvider"]["container"], "zhang-wei");
}

TEST_F(StoreCommandTest, CertificateAloneHasNoKeyProperty) {
  Bytes der = MakeCertificate("Recipient");
  const std::string file = WriteFile("r.cer", std::string(der.begin(), der.end()));
  ASSERT_EQ(RunStore({"store", "import", file, "--store", "AddressBOOK"}).exitCode, 0);
  const nlohmann::json listed = ListJson("addressbook");
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_TRUE(listed[0]["keyProvider"].is_null());
  EXPECT_EQ(RunStore({"store", "import", file, "--store", "AddressBOOK"}).exitCode,
            kStoreAlreadyPresent);
}

TEST_F(StoreCommandTest, BadInputFailsClearlyAndStoresNothing) {
  const Bytes der = MakeCertificate("Zhang San");
  const std::string p12 = MakePkcs12(der, "right");
  Outcome outcome = RunStore({"store", "import", p12, "--password", "wrong"});
  EXPECT_EQ(outcome.exitCode, kStoreInvalidInput);
  EXPECT_NE(outcome.err.find("password"), std::string::npos);

  const std::string garbage = WriteFile("garbage.bin", "this is not a certificate");
  EXPECT_EQ(RunStore({"store", "import", garbage}).exitCode, kStoreInvalidInput);
  EXPECT_EQ(RunStore({"store", "import", (root_ / "missing.cer").string()}).exitCode,
            kStoreInvalidInput);

  // A key that does not belong to the certificate: no container, no certificate.
  platform::EvpPkeyPtr other = platform::testing::MakeRsaKey();
  const std::string cert = WritePemCertificate("c.pem", der);
  const std::string key = WritePemKey("other.pem", other.get());
  outcome = RunStore({"store", "import", cert, "--key", key, "--container", "never"});
  EXPECT_EQ(outcome.exitCode, kStoreInvalidInput);
  std::unique_ptr<platform::KeyContainer> container;
  EXPECT_EQ(platform::KeyContainer::Acquire(u"never", platform::kMsBaseProvider,
                                            platform::kProvRsaFull, 0, container),
            platform::error::kBadKeyset);
  EXPECT_TRUE(ListJson().empty());

  EXPECT_EQ(RunStore({"store", "import", cert, "--key-spec", "both"}).exitCode,
            static_cast<int>(CLI::ExitCodes::ValidationError));
  EXPECT_EQ(RunStore({"store", "remove", "--store", "MY", std::string(40, '0')}).exitCode,
            kStoreNotFound);
  EXPECT_EQ(RunStore({"store", "remove", "--store", "MY", "xyz"}).exitCode, kStoreInvalidInput);
}

TEST_F(StoreCommandTest, RemovesCertificatesAndKeepsTheOthersInOrder) {
  for (const char* cn : {"one", "two", "three"}) {
    const Bytes der = MakeCertificate(cn);
    ASSERT_EQ(RunStore({"store", "import",
                        WriteFile(std::string(cn) + ".cer", std::string(der.begin(), der.end()))})
                  .exitCode,
              0);
  }
  nlohmann::json listed = ListJson();
  ASSERT_EQ(listed.size(), 3u);
  ASSERT_EQ(RunStore({"store", "remove", "--store", "MY", listed[1]["sha1"]}).exitCode, 0);
  listed = ListJson();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0]["subject"], "C=CN, O=ZuvirOrori, CN=one");
  EXPECT_EQ(listed[1]["subject"], "C=CN, O=ZuvirOrori, CN=three");
}

TEST_F(StoreCommandTest, ImportsAndListsCrls) {
  platform::OpenSslPtr<X509_CRL, X509_CRL_free> crl(X509_CRL_new());
  platform::X509NamePtr issuer =
      platform::testing::ParseX509Name(Name({Attr("2.5.4.3", "ZuvirOrori CA")}));
  X509_CRL_set_version(crl.get(), 1);
  X509_CRL_set_issuer_name(crl.get(), issuer.get());
  platform::Asn1TimePtr now(ASN1_TIME_set(nullptr, 1700000000));
  X509_CRL_set1_lastUpdate(crl.get(), now.get());
  X509_REVOKED* revoked = X509_REVOKED_new();
  platform::Asn1IntegerPtr serial(ASN1_INTEGER_new());
  ASN1_INTEGER_set(serial.get(), 0x1234);
  X509_REVOKED_set_serialNumber(revoked, serial.get());
  X509_REVOKED_set_revocationDate(revoked, now.get());
  X509_CRL_add0_revoked(crl.get(), revoked);
  ASSERT_GT(X509_CRL_sign(crl.get(), key_.get(), EVP_sha256()), 0);
  platform::BioPtr bio(BIO_new(BIO_s_mem()));
  ASSERT_EQ(PEM_write_bio_X509_CRL(bio.get(), crl.get()), 1);
  char* text = nullptr;
  const long length = BIO_get_mem_data(bio.get(), &text);
  const std::string file = WriteFile("ca.crl", std::string(text, static_cast<std::size_t>(length)));

  ASSERT_EQ(RunStore({"store", "import-crl", file}).exitCode, 0);
  EXPECT_EQ(RunStore({"store", "import-crl", file}).exitCode, kStoreAlreadyPresent);
  const Outcome listed = RunStore({"store", "list-crls", "--store", "CA", "--json"});
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  const nlohmann::json crls = nlohmann::json::parse(listed.out);
  ASSERT_EQ(crls.size(), 1u);
  EXPECT_EQ(crls[0]["issuer"], "CN=ZuvirOrori CA");
  EXPECT_EQ(crls[0]["revoked"], nlohmann::json::array({"1234"}));
  EXPECT_EQ(crls[0]["thisUpdate"], "2023-11-14T22:13:20Z");
  EXPECT_TRUE(crls[0]["nextUpdate"].is_null());
  EXPECT_TRUE(crls[0]["issuerKeyId"].is_null());
  EXPECT_EQ(RunStore({"store", "import-crl", WriteFile("bad.crl", "junk")}).exitCode,
            kStoreInvalidInput);

  const std::string sha1 = crls[0]["sha1"];
  ASSERT_EQ(sha1.size(), 40u);
  EXPECT_EQ(RunStore({"store", "remove-crl", "--store", "MY", sha1}).exitCode, kStoreNotFound);
  const Outcome removed = RunStore({"store", "remove-crl", "--store", "CA", sha1});
  ASSERT_EQ(removed.exitCode, 0) << removed.err;
  EXPECT_EQ(RunStore({"store", "list-crls", "--store", "CA", "--json"}).out, "[]\n");
  EXPECT_EQ(RunStore({"store", "remove-crl", "--store", "CA", sha1}).exitCode, kStoreNotFound);
}

TEST_F(StoreCommandTest, ImportsEveryCertificateOfAPemFileWithTheirKeyIdentifiers) {
  std::vector<std::string> pems;
  std::vector<std::string> subjects;
  for (const char* cn : {"first", "second", "third"}) {
    platform::testing::CertificateSpec spec;
    spec.subject = Name({Attr("2.5.4.3", cn)});
    spec.extensions = {{"subjectKeyIdentifier", "hash"},
                       {"authorityKeyIdentifier", "keyid:always"}};
    std::ifstream in(
        WritePemCertificate(std::string(cn) + ".pem",
                            platform::testing::MakeCertificate(spec, key_.get(), key_.get())));
    pems.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    subjects.push_back(std::string("CN=") + cn);
  }
  // One of them is there already: kept, the others added after it.
  ASSERT_EQ(
      RunStore({"store", "import", "--store", "CA", WriteFile("second.pem", pems[1])}).exitCode, 0);
  const std::string bundle = pems[0] + "some text between\n" + pems[1] + pems[2];
  const Outcome imported =
      RunStore({"store", "import", "--store", "CA", WriteFile("bundle.pem", bundle)});
  ASSERT_EQ(imported.exitCode, 0) << imported.err;
  EXPECT_NE(imported.out.find("2 more into CA"), std::string::npos) << imported.out;

  const nlohmann::json listed = ListJson("CA");
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0]["subject"], subjects[1]);
  EXPECT_EQ(listed[1]["subject"], subjects[0]);
  EXPECT_EQ(listed[2]["subject"], subjects[2]);
  for (const auto& entry : listed) {
    ASSERT_TRUE(entry["subjectKeyId"].is_string());
    EXPECT_EQ(entry["subjectKeyId"].get<std::string>().size(), 40u);
    EXPECT_EQ(entry["authorityKeyId"], entry["subjectKeyId"]);  // all share one key
  }
}

TEST_F(StoreCommandTest, StoresPersistAcrossProcessesInImportOrder) {
  const std::string key = WritePemKey("k.pem", key_.get());
  const std::vector<std::string> names = {"third", "first", "second"};
  for (const std::string& name : names) {
    const std::string file =
        WritePemCertificate(name + ".pem", MakeCertificate(name, {0x50, uint8_t(name.size())}));
    const int status = Wait(Spawn({"store", "import", file, "--key", key}));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const nlohmann::json listed = ListJson();
  ASSERT_EQ(listed.size(), names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(listed[i]["subject"], "C=CN, O=ZuvirOrori, CN=" + names[i]);
  }
}

// Every certificate another process imported is seen whole: with its
// key-provider property and the key that property names.
void ExpectEveryEntryWhole() {
  std::unique_ptr<platform::CertStore> store;
  ASSERT_EQ(platform::CertStore::OpenSystemStore("MY", store), platform::error::kOk);
  std::vector<platform::CertContextRef> contexts;
  ASSERT_EQ(store->Certificates(contexts), platform::error::kOk);
  for (const auto& context : contexts) {
    platform::KeyProvInfo info;
    ASSERT_EQ(context->GetKeyProvInfo(info), platform::error::kOk);
    std::unique_ptr<platform::KeyContainer> container;
    ASSERT_EQ(platform::KeyContainer::Acquire(info.container, info.provider, info.providerType, 0,
                                              container),
              platform::error::kOk);
    platform::Key key;
    ASSERT_EQ(container->GetUserKey(info.keySpec, key), platform::error::kOk);
  }
}

TEST_F(StoreCommandTest, ReadersInThisProcessSeeOtherProcessesImportsWholeOrNotAtAll) {
  std::vector<std::string> files;
  for (int i = 0; i < 6; ++i) {
    const std::string name = "c" + std::to_string(i);
    files.push_back(WritePemCertificate(name + ".pem", MakeCertificate(name, {0x10, uint8_t(i)})));
  }
  const std::string key = WritePemKey("k.pem", key_.get());
  std::vector<pid_t> importers;
  for (const std::string& file : files) {
    importers.push_back(Spawn({"store", "import", file, "--key", key}));
  }
  bool running = true;
  while (running) {
    ExpectEveryEntryWhole();
    running = false;
    for (pid_t& pid : importers) {
      if (pid <= 0) continue;
      int status = 0;
      const pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        pid = 0;
      } else {
        running = true;
      }
    }
  }
  ExpectEveryEntryWhole();
  EXPECT_EQ(ListJson().size(), files.size());
  // The stores persist for later processes, in import order of completion.
  const nlohmann::json listed = ListJson();
  for (const auto& entry : listed) EXPECT_FALSE(entry["keyProvider"].is_null());
}

// Counts the certificates of `store` whose subject contains `text`.
std::size_t CountMatching(std::string_view storeName, const std::u16string& text) {
  std::unique_ptr<platform::CertStore> store;
  EXPECT_EQ(platform::CertStore::OpenSystemStore(storeName, store), platform::error::kOk);
  std::size_t count = 0;
  platform::CertContextRef context;
  const platform::CertFind find{platform::FindType::kSubjectStr, text, {}};
  while (store && store->Find(find, context, context) == platform::error::kOk) ++count;
  return count;
}

// What SQLite's own check of the whole database file reports: "ok", or its findings.
std::string IntegrityCheck(sqlite3* database) {
  std::string report;
  const auto collect = [](void* out, int columns, char** values, char**) {
    auto& text = *static_cast<std::string*>(out);
    for (int i = 0; i < columns; ++i)
      text += (text.empty() ? "" : "\n") + std::string(values[i] ? values[i] : "");
    return 0;
  };
  if (sqlite3_exec(database, "PRAGMA integrity_check", collect, &report, nullptr) != SQLITE_OK) {
    return sqlite3_errmsg(database);
  }
  return report;
}

TEST_F(StoreCommandTest, KilledImportLeavesTheCertificateWholeOrAbsent) {
  constexpr int kChainLength = 120;
  constexpr int kRounds = 8;
  // Each round imports a PKCS#12 file with its own key certificate and a chain
  // of its own, so that the transaction is long enough for kills to land in it.
  const auto makeBundle = [&](int round) {
    std::string chain;
    for (int i = 0; i < kChainLength; ++i) {
      const Bytes der = MakeCertificate("chain <" + std::to_string(round) + ">" + std::to_string(i),
                                        {0x40, uint8_t(round), uint8_t(i)});
      const std::string path = WritePemCertificate("chain-one.pem", der);
      std::ifstream in(path);
      chain.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const std::string chainFile = WriteFile("chain.pem", chain);
    const std::string cert = WritePemCertificate(
        "kill.pem",
        MakeCertificate("victim <" + std::to_string(round) + ">", {0x20, uint8_t(round)}));
    const std::string key = WritePemKey("kill-key.pem", key_.get());
    const std::string file = (root_ / ("kill" + std::to_string(round) + ".p12")).string();
    const std::string command = "openssl pkcs12 -export -in '" + cert + "' -inkey '" + key +
                                "' -certfile '" + chainFile + "' -out '" + file +
                                "' -passout pass:x 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return file;
  };

  // The database exists before the imports start, as in normal use.
  ASSERT_EQ(RunStore({"store", "list"}).exitCode, 0);
  // A connection of the test's own tells when an importer holds the write lock,
  // that is, when it is inside its transaction.
  sqlite3* probe = nullptr;
  ASSERT_EQ(sqlite3_open((home_ / "quorvel.db").c_str(), &probe), SQLITE_OK);
  const auto importerHoldsWriteLock = [&] {
    const int rc = sqlite3_exec(probe, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) sqlite3_exec(probe, "ROLLBACK", nullptr, nullptr, nullptr);
    return rc == SQLITE_BUSY;
  };

  int killedInside = 0;
  for (int round = 0; round < kRounds; ++round) {
    const std::string file = makeBundle(round);
    const pid_t pid = Spawn({"store", "import", file, "--password", "x"});
    // Kill the importer once it is inside its transaction; a few rounds wait a
    // little longer so that the kill lands later in the transaction.
    int status = 0;
    bool exited = false;
    while (!importerHoldsWriteLock()) {
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        exited = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (!exited) {
      std::this_thread::sleep_for(std::chrono::milliseconds(round % 4));
      ::kill(pid, SIGKILL);
      status = Wait(pid);
      if (WIFSIGNALED(status)) ++killedInside;
    }

    // The database opens, and holds this round's import whole or not at all.
    const std::u16string round16 = platform::Utf8ToUtf16(std::to_string(round));
    const std::size_t victims = CountMatching("MY", u"victim <" + round16 + u">");
    const std::size_t chain = CountMatching("CA", u"chain <" + round16 + u">");
    EXPECT_TRUE((victims == 0 && chain == 0) || (victims == 1 && chain == kChainLength))
        << "round " << round << ": " << victims << " key certificate(s), " << chain
        << " chain certificates";
    ExpectEveryEntryWhole();
    EXPECT_EQ(IntegrityCheck(probe), "ok") << "round " << round;
  }
  sqlite3_close(probe);
  EXPECT_GT(killedInside, 0);
  // The database still takes imports afterwards.
  const std::string last = WritePemCertificate("last.pem", MakeCertificate("after", {0x30}));
  const std::string key = WritePemKey("k.pem", key_.get());
  EXPECT_EQ(RunStore({"store", "import", last, "--key", key}).exitCode, 0);
}

}  // namespace
}  // namespace quorvel::tools
