// Keys leaving the home as PKCS#12 files, envelopes opened by `openssl cms`
// with such an exported key, the envelope failures by cause, and the
// certificate utilities over a home whose database cannot be opened.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tools/host_signing_fixture.h"

namespace quorvel::tools {
namespace {

class HostKeyExportTest : public HostSigningTest {
 protected:
  // Exports the certificate of "MY" whose subject holds `part`; the exit code.
  int Export(const std::string& part, const std::filesystem::path& file,
             std::vector<std::string> extra = {}) {
    std::vector<std::string> arguments = {
        "store",    "export",          "--store",          "MY",    Sha1Of("MY", part),
        "--pkcs12", "--password-file", password_.string(), "--out", file.string()};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    std::string output;
    return Run(arguments, "", output);
  }

  // The exported key as an unencrypted PEM file for the openssl tool.
  std::filesystem::path KeyOf(const std::filesystem::path& pkcs12) {
    const auto key = root_ / (pkcs12.stem().string() + ".key");
    EXPECT_EQ(Shell("openssl pkcs12 -in " + pkcs12.string() + " -passin file:" +
                    password_.string() + " -nocerts -nodes -out " + key.string() + " 2>/dev/null"),
              0);
    return key;
  }

  void SetUp() override {
    HostSigningTest::SetUp();
    password_ = Write("password.txt", "correct horse\n");
  }

  std::filesystem::path password_;
};

TEST_F(HostKeyExportTest, AnExportedKeyTravelsToAnotherHomeAndSignsThere) {
  const auto file = root_ / "zhang-wei.p12";
  ASSERT_EQ(Export("Zhang Wei", file, {"--chain"}), 0);
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(Shell("openssl pkcs12 -info -noout -in " + file.string() +
                  " -passin file:" + password_.string() + " 2>/dev/null"),
            0);
  const auto certs = root_ / "certs.pem";
  ASSERT_EQ(Shell("openssl pkcs12 -in " + file.string() + " -passin file:" + password_.string() +
                  " -nokeys -out " + certs.string() + " 2>/dev/null"),
            0);
  size_t count = 0;
  const std::string pem = ReadFile(certs);
  for (size_t at = pem.find("BEGIN CERTIFICATE"); at != std::string::npos;
       at = pem.find("BEGIN CERTIFICATE", at + 1)) {
    ++count;
  }
  EXPECT_EQ(count, 3u);  // the certificate, ZAZU and the root

  // An existing file stays unless --force; a password is required.
  const std::string first = ReadFile(file);
  EXPECT_EQ(Export("Zhang Wei", file), 2);
  EXPECT_EQ(ReadFile(file), first);
  EXPECT_EQ(Export("Zhang Wei", file, {"--force"}), 0);
  EXPECT_NE(ReadFile(file), first);
  std::string output;
  EXPECT_EQ(Run({"store", "export", "--store", "MY", Sha1Of("MY", "Zhang Wei"), "--pkcs12", "--out",
                 (root_ / "other.p12").string()},
                "", output),
            2);
  EXPECT_EQ(Export("No Key Holder", root_ / "nokey.p12"), 1);
  EXPECT_FALSE(std::filesystem::exists(root_ / "nokey.p12"));

  const std::string original = CertificateDer("MY", "Zhang Wei");
  const std::string sha1 = Sha1Of("MY", "Zhang Wei");
  std::filesystem::rename(root_ / "home", root_ / "first-home");
  ASSERT_EQ(Run({"store", "import", file.string(), "--password", "correct horse"}, "", output), 0)
      << output;
  ASSERT_EQ(Run({"store", "list", "--store", "MY", "--json"}, "", output), 0);
  const json listed = json::parse(output);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0]["sha1"], sha1);
  EXPECT_EQ(listed[0]["keyProvider"]["keySpec"], "signature");
  const std::vector<json> r = Session(
      {Put("QVServerMode", 1), SetPlainText("moved"), Invoke("QVAttachedSign", {"CN=Zhang Wei"})});
  ASSERT_EQ(Status(r[2]), 0) << r[2];

  // The signature verifies with the original certificate alone.
  const auto certificate = Write("original.der", original);
  const auto originalPem = root_ / "original.pem";
  ASSERT_EQ(Shell("openssl x509 -inform DER -in " + certificate.string() + " -out " +
                  originalPem.string()),
            0);
  EXPECT_EQ(Shell("openssl cms -verify -binary -noverify -nointern -certfile " +
                  originalPem.string() + " -inform DER -in " +
                  Write("moved.der", Decoded(r[2])).string() + " -out /dev/null 2>/dev/null"),
            0);
}

TEST_F(HostKeyExportTest, EnvelopesOpenWithOpensslAndFailByCause) {
  // Zhang San as another party: his certificate in the address book, his key
  // exported for the openssl tool.
  const auto p12 = root_ / "zhang-san.p12";
  ASSERT_EQ(Export("Zhang San", p12), 0);
  const auto key = KeyOf(p12);
  std::string output;
  const auto der = root_ / "zhang-san.der";
  ASSERT_EQ(
      Run({"store", "export", "--store", "MY", Sha1Of("MY", "Zhang San"), "--out", der.string()},
          "", output),
      0);
  ASSERT_EQ(Run({"store", "import", der.string(), "--store", "AddressBOOK"}, "", output), 0);

  // A recipient whose 256-bit key cannot carry an AES-256 key.
  Write("tiny.cnf",
        "asn1=SEQUENCE:spki\n[spki]\nalgorithm=SEQUENCE:alg\nkey=BITWRAP,SEQUENCE:rsakey\n"
        "[alg]\noid=OID:rsaEncryption\nnull=NULL\n[rsakey]\n"
        "n=INTEGER:0xC3A5F1E2D4B6978869A5B4C3D2E1F0A9B8C7D6E5F4A3B2C1D0E9F8A7B6C5D4E3\n"
        "e=INTEGER:65537\n");
  const std::string r = root_.string();
  ASSERT_EQ(Shell("cd " + r +
                  " && openssl asn1parse -genconf tiny.cnf -out tiny.der -noout"
                  " && openssl pkey -pubin -inform DER -in tiny.der -out tiny-pub.pem"
                  " && openssl genpkey -algorithm RSA -out ca.key 2>/dev/null"
                  " && openssl x509 -new -subj /CN=Tiny\\ Key -force_pubkey tiny-pub.pem"
                  " -key ca.key -days 2 -out tiny.pem"),
            0);
  ASSERT_EQ(Run({"store", "import", r + "/tiny.pem", "--store", "AddressBOOK"}, "", output), 0);

  const std::vector<json> e = Session({
      Put("QVServerMode", 1), SetPlainText("sealed"),
      Invoke("QVEncryptedEnvelop", {"CN=Zhang San"}),  // 2
      SetPlainText("signed and sealed"),
      Invoke("QVSignedAndEncryptedEnvelop", {"CN=Zhang Wei", "CN=Zhang San"}),  // 4
      Invoke("QVSetSymmetryArithmetic", {"1.2.3.4"}), SetPlainText("x"),
      Invoke("QVEncryptedEnvelop", {"CN=Zhang San"}), ErrorNum(), ErrMsg(),  // 7-9
      Invoke("QVSetSymmetryArithmetic", {"2.16.840.1.101.3.4.1.42"}), SetPlainText("x"),
      Invoke("QVEncryptedEnvelop", {"CN=Tiny Key"}), ErrorNum(), ErrMsg(),  // 12-14
  });
  ASSERT_EQ(Status(e[2]), 0) << e[2];
  ASSERT_EQ(Status(e[4]), 0) << e[4];
  EXPECT_EQ(Value(e[8]), -10033);
  EXPECT_EQ(Value(e[9]), "加密失败");
  EXPECT_EQ(Value(e[13]), -10022);
  EXPECT_EQ(Value(e[14]), "加密失败");

  const std::string decrypt =
      "openssl cms -decrypt -provider legacy -provider default -binary "
      "-inform DER -inkey " +
      key.string() + " -in ";
  const auto opened = root_ / "opened.bin";
  ASSERT_EQ(Shell(decrypt + Write("sealed.der", Decoded(e[2])).string() + " -out " +
                  opened.string() + " 2>/dev/null"),
            0);
  EXPECT_EQ(ReadFile(opened), "sealed");
  const auto inner = root_ / "inner.der";
  ASSERT_EQ(Shell(decrypt + Write("signed.der", Decoded(e[4])).string() + " -out " +
                  inner.string() + " 2>/dev/null"),
            0);
  ASSERT_EQ(Shell("openssl cms -verify -binary -inform DER -in " + inner.string() + " -CAfile " +
                  TrustAnchors().string() + " -out " + opened.string() + " 2>/dev/null"),
            0);
  EXPECT_EQ(ReadFile(opened), "signed and sealed");
}

TEST_F(HostKeyExportTest, TheSignatureKeyVariantNarrowsOnlyTheSignersChooser) {
  Script({{{"dialog", "chooser"}, {"actions", json::array({{{"ok", 0}}})}},
          {{"dialog", "chooser"}, {"actions", json::array({"cancel"})}}});
  const std::vector<json> r = Session(
      {SetPlainText("x"), Invoke("QVUseKeySpecSignedAndEncryptedEnvelop", {"", ""}), ErrorNum()});
  EXPECT_EQ(Value(r[2]), -10005);
  const std::vector<json> choosers = ChooserDialogs();
  ASSERT_EQ(choosers.size(), 2u);
  EXPECT_EQ(choosers[0]["rows"].size(), 2u) << choosers[0];  // Zhang Wei and 李四
  // ZAZU, the root and the two recipients.
  EXPECT_EQ(choosers[1]["rows"].size(), 4u) << choosers[1];
}

TEST_F(HostKeyExportTest, UtilitiesReportAHomeThatCannotBeOpened) {
  std::filesystem::remove(root_ / "home" / "quorvel.db-wal");
  std::filesystem::remove(root_ / "home" / "quorvel.db-shm");
  Write("home/quorvel.db", std::string(4096, 'x'));
  const std::vector<json> r = Session({
      Invoke("IsCertExists", {"CN=Zhang San"}), ErrorNum(), ErrMsg(),                     // 0-2
      Invoke("QVGetCertExtension", {"CN=Zhang San", "2.5.29.15"}), ErrorNum(), ErrMsg(),  // 3-5
      Invoke("QVBase64Encode", {"a"}),                                                    // 6
      Invoke("QVEnumCertsDNByIssers", {"O=ZuvirOrori, OU=config, CN=ZAZU"}), ErrorNum(),  // 7, 8
      ErrMsg(),                                                                           // 9
  });
  EXPECT_EQ(Status(r[0]), 0);
  EXPECT_EQ(Value(r[0]), 0);
  EXPECT_EQ(Value(r[1]), -10018);
  EXPECT_EQ(Value(r[2]), "打不开证书存储区");
  EXPECT_EQ(Status(r[3]), 1);
  EXPECT_EQ(Value(r[4]), -10018);
  EXPECT_EQ(Value(r[5]), "打不开证书存储区");
  EXPECT_EQ(Status(r[7]), 1);
  EXPECT_EQ(Value(r[8]), -10018);
  EXPECT_EQ(Value(r[9]), "");  // the message of the last success stays
}

}  // namespace
}  // namespace quorvel::tools
