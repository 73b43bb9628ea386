// Digital envelopes as a page drives them: through `quorvel host --stdio`,
// over a copy of the demo PKI home, with the script UI, and checked against
// the `openssl` tool as an independent peer.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/text/base64.h"
#include "tools/host_signing_fixture.h"

namespace quorvel::tools {
namespace {

constexpr const char* kZhangSan = "CN=Zhang San, O=ZuvirOrori, C=CN";
constexpr const char* kZazu = "O=ZuvirOrori, OU=config, CN=ZAZU";

class HostEnvelopeTest : public HostSigningTest {
 protected:
  static Call SignerInfo(int type) { return Invoke("QVGetSignerCertInfo", {type}); }
  static Call ReciptInfo(int type) { return Invoke("QVGetReciptCertInfo", {type}); }

  // Exports the certificate of `store` whose subject is `subject` into `file`.
  void Export(const std::string& store, const std::string& subject,
              const std::filesystem::path& file, bool pem) {
    std::string output;
    ASSERT_EQ(Run({"store", "list", "--store", store, "--json"}, "", output), 0);
    for (const json& entry : json::parse(output)) {
      if (entry["subject"] != subject) continue;
      std::vector<std::string> arguments{
          "store", "export",     "--store", store, entry["sha1"].get<std::string>(),
          "--out", file.string()};
      if (pem) arguments.push_back("--pem");
      ASSERT_EQ(Run(arguments, "", output), 0);
      return;
    }
    FAIL() << subject << " is not in " << store;
  }

  // Zhang San's certificate, whose key is in "MY", also becomes a recipient
  // of the address book, as a user who sends envelopes to himself has it.
  void AddZhangSanToAddressBook() {
    const std::filesystem::path file = root_ / "zhang-san.der";
    Export("MY", kZhangSan, file, false);
    std::string output;
    ASSERT_EQ(Run({"store", "import", file.string(), "--store", "AddressBOOK"}, "", output), 0);
  }

  // Makes an envelope of `text` for Zhang San; returns its Base64 text.
  std::string EnvelopeForZhangSan(const std::string& text) {
    const std::vector<json> r =
        Session({SetPlainText(text), Invoke("QVEncryptedEnvelop", {"CN=Zhang San"})});
    EXPECT_EQ(Status(r[1]), 0) << r[1];
    return Value(r[1]).get<std::string>();
  }
};

TEST_F(HostEnvelopeTest, EnvelopeOpensToTheTextAndNamesTheRecipient) {
  AddZhangSanToAddressBook();
  const std::string text = "Transfer 100.00 to account 6222";
  const std::vector<json> r =
      Session({SetPlainText(text), Invoke("QVEncryptedEnvelop", {"CN=Zhang San"}), ReciptInfo(1),
               ReciptInfo(5), SignerInfo(1),
               // The stored text was consumed by the first envelope.
               Invoke("QVEncryptedEnvelop", {"CN=Zhang San"}), ErrorNum(), ErrMsg()});
  ASSERT_EQ(Status(r[1]), 0) << r[1];
  const std::string envelope = Value(r[1]).get<std::string>();
  // Lines of 64 characters, each ending in LF.
  ASSERT_FALSE(envelope.empty());
  EXPECT_EQ(envelope.back(), '\n');
  for (size_t start = 0; start < envelope.size();) {
    const size_t end = envelope.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    if (end + 1 < envelope.size()) {
      EXPECT_EQ(end - start, 64u);
    }
    start = end + 1;
  }
  EXPECT_EQ(Value(r[2]), kZhangSan);
  EXPECT_EQ(Value(r[3]), "1001");
  EXPECT_EQ(Value(r[4]), "") << "an envelope has no signer";
  EXPECT_EQ(Status(r[5]), 1);
  EXPECT_EQ(Value(r[6]), -10001);
  EXPECT_EQ(Value(r[7]), "源数据为空");

  // openssl reads it as an envelope for Zhang San's issuer and serial number.
  std::string der;
  ASSERT_TRUE(platform::Base64Decode(envelope, der));
  const auto message = Write("envelope.der", der);
  const auto printed = root_ / "printed.txt";
  ASSERT_EQ(Shell("openssl cms -cmsout -print -inform DER -in " + message.string() + " > " +
                  printed.string() + " 2>/dev/null"),
            0);
  const std::string structure = ReadFile(printed);
  EXPECT_NE(structure.find("pkcs7-envelopedData"), std::string::npos) << structure;
  EXPECT_NE(structure.find("CN=ZAZU"), std::string::npos) << structure;
  EXPECT_EQ(structure.find(text), std::string::npos) << "the content must not travel in clear";

  const std::vector<json> v =
      Session({Invoke("QVDecryptEnvelop", {envelope}), Invoke("QVGetPlainText"), ReciptInfo(1),
               ReciptInfo(2), ReciptInfo(5)});
  ASSERT_EQ(Status(v[0]), 0) << v[0];
  EXPECT_EQ(Value(v[1]), text);
  EXPECT_EQ(Value(v[2]), kZhangSan);
  EXPECT_EQ(Value(v[3]), kZazu);
  EXPECT_EQ(Value(v[4]), "1001");
}

TEST_F(HostEnvelopeTest, OpensAnEnvelopeThatOpensslMade) {
  const auto certificate = root_ / "zhang-san.pem";
  Export("MY", kZhangSan, certificate, true);
  const std::string text = "made elsewhere, opened here";
  const auto content = Write("content.txt", text);
  const auto envelope = root_ / "openssl.der";
  ASSERT_EQ(Shell("openssl cms -encrypt -binary -aes-256-cbc -in " + content.string() +
                  " -outform DER -out " + envelope.string() + " " + certificate.string() +
                  " 2>/dev/null"),
            0);
  const std::string base64 = platform::Base64Encode(ReadFile(envelope));

  const std::vector<json> v =
      Session({Invoke("QVDecryptEnvelop", {base64}), Invoke("QVGetPlainText"), ReciptInfo(1)});
  ASSERT_EQ(Status(v[0]), 0) << v[0];
  EXPECT_EQ(Value(v[1]), text);
  EXPECT_EQ(Value(v[2]), kZhangSan);
}

TEST_F(HostEnvelopeTest, RecipientsComeOnlyFromOtherPartiesStores) {
  // Zhang San is only in "MY" in the demo home: no envelope can be made for him.
  const std::vector<json> r =
      Session({SetPlainText("for me"), Invoke("QVEncryptedEnvelop", {"CN=Zhang San"}), ErrorNum(),
               ErrMsg(), ReciptInfo(1)});
  EXPECT_EQ(Status(r[1]), 1);
  EXPECT_EQ(Value(r[2]), -10005);
  EXPECT_EQ(Value(r[3]), "加密失败");
  EXPECT_EQ(Value(r[4]), "");
}

TEST_F(HostEnvelopeTest, NobodyInMyHoldsTheKeyOfAnAddressBookRecipient) {
  const std::vector<json> r =
      Session({SetPlainText("for a partner"), Invoke("QVEncryptedEnvelop", {"CN=Recipient One"}),
               ReciptInfo(1)});
  ASSERT_EQ(Status(r[1]), 0) << r[1];
  EXPECT_EQ(Value(r[2]), "C=CN, O=Partner Bank, CN=Recipient One");

  const std::vector<json> v =
      Session({Invoke("QVDecryptEnvelop", {Value(r[1])}), ErrorNum(), ErrMsg()});
  EXPECT_EQ(Status(v[0]), 1);
  EXPECT_EQ(Value(v[1]), -10015);
  EXPECT_EQ(Value(v[2]), "解密带签名的数字信封错误");
}

TEST_F(HostEnvelopeTest, SignedEnvelopeCarriesSignerAndRecipient) {
  AddZhangSanToAddressBook();
  const std::string text = "signed, then sealed";
  const std::vector<json> r = Session(
      {SetPlainText(text), Invoke("QVSignedAndEncryptedEnvelop", {"CN=Zhang San", "CN=Zhang San"}),
       SignerInfo(1), ReciptInfo(1), ReciptInfo(5)});
  ASSERT_EQ(Status(r[1]), 0) << r[1];
  EXPECT_EQ(Value(r[2]), kZhangSan);
  EXPECT_EQ(Value(r[3]), kZhangSan);
  EXPECT_EQ(Value(r[4]), "1001");
  const std::string envelope = Value(r[1]).get<std::string>();

  const std::vector<json> v =
      Session({Invoke("QVDecryptedAndVerifiedEnvelop", {envelope}), Invoke("QVGetPlainText"),
               SignerInfo(1), SignerInfo(2), SignerInfo(5), ReciptInfo(1), ReciptInfo(5),
               // A plain envelope, which the signed opener must refuse.
               SetPlainText("plain"), Invoke("QVEncryptedEnvelop", {"CN=Zhang San"})});
  ASSERT_EQ(Status(v[0]), 0) << v[0];
  EXPECT_EQ(Value(v[1]), text);
  EXPECT_EQ(Value(v[2]), kZhangSan);
  EXPECT_EQ(Value(v[3]), kZazu);
  EXPECT_EQ(Value(v[4]), "1001");
  EXPECT_EQ(Value(v[5]), kZhangSan);
  EXPECT_EQ(Value(v[6]), "1001");
  ASSERT_EQ(Status(v[8]), 0) << v[8];

  const std::vector<json> w =
      Session({Invoke("QVDecryptedAndVerifiedEnvelop", {Value(v[8])}), ErrorNum(), ErrMsg()});
  EXPECT_EQ(Status(w[0]), 1);
  EXPECT_EQ(Value(w[1]), -10023);
  EXPECT_EQ(Value(w[2]), "解密带签名的数字信封错误");
}

TEST_F(HostEnvelopeTest, SignatureKeyVariantRefusesAnExchangeKeySigner) {
  AddZhangSanToAddressBook();
  // Zhang San holds an exchange key, Zhang Wei a signature key; either may
  // receive.
  const std::vector<json> r =
      Session({SetPlainText("one"),
               Invoke("QVUseKeySpecSignedAndEncryptedEnvelop", {"CN=Zhang San", "CN=Zhang San"}),
               ErrorNum(), ErrMsg(), SetPlainText("two"),
               Invoke("QVUseKeySpecSignedAndEncryptedEnvelop", {"CN=Zhang Wei", "CN=Zhang San"}),
               SignerInfo(1), ReciptInfo(1)});
  EXPECT_EQ(Status(r[1]), 1);
  EXPECT_EQ(Value(r[2]), -10005);
  EXPECT_EQ(Value(r[3]), "制作带签名的数字信封失败");
  ASSERT_EQ(Status(r[5]), 0) << r[5];
  EXPECT_EQ(Value(r[6]), "C=CN, O=ZuvirOrori, CN=Zhang Wei");
  EXPECT_EQ(Value(r[7]), kZhangSan);

  const std::vector<json> v =
      Session({Invoke("QVDecryptedAndVerifiedEnvelop", {Value(r[5])}), Invoke("QVGetPlainText")});
  ASSERT_EQ(Status(v[0]), 0) << v[0];
  EXPECT_EQ(Value(v[1]), "two");
}

TEST_F(HostEnvelopeTest, SignerWithoutAKnownIssuerIsRefusedAfterDecryption) {
  AddZhangSanToAddressBook();
  const std::vector<json> r =
      Session({SetPlainText("from an orphan"),
               Invoke("QVSignedAndEncryptedEnvelop", {"CN=Orphan User", "CN=Zhang San"})});
  ASSERT_EQ(Status(r[1]), 0) << r[1];

  const std::vector<json> v =
      Session({Invoke("QVDecryptedAndVerifiedEnvelop", {Value(r[1])}), ErrorNum(), ErrMsg(),
               Invoke("QVGetPlainText"), SignerInfo(1), ReciptInfo(1)});
  EXPECT_EQ(Status(v[0]), 1);
  EXPECT_EQ(Value(v[1]), -10014);
  EXPECT_EQ(Value(v[2]), "解密带签名的数字信封错误");
  // The decrypted content of a refused envelope is not handed out.
  EXPECT_EQ(Value(v[3]), "");
  EXPECT_EQ(Value(v[4]), "");
  EXPECT_EQ(Value(v[5]), "");
}

TEST_F(HostEnvelopeTest, ServerModeNeedsEveryDn) {
  AddZhangSanToAddressBook();
  const std::vector<json> r = Session({
      Put("QVServerMode", 1),
      SetPlainText("x"),
      Invoke("QVEncryptedEnvelop", {""}),
      ErrorNum(),
      ErrMsg(),
      SetPlainText("x"),
      Invoke("QVSignedAndEncryptedEnvelop", {"CN=Zhang San", ""}),
      ErrorNum(),
      SetPlainText("x"),
      Invoke("QVSignedAndEncryptedEnvelop", {"", "CN=Zhang San"}),
      ErrorNum(),
      // Each failure consumed the stored text.
      Invoke("QVEncryptedEnvelop", {"CN=Zhang San"}),
      ErrorNum(),
      SetPlainText("x"),
      Invoke("QVSignedAndEncryptedEnvelop", {"CN=Zhang San", "CN=Zhang San"}),
  });
  EXPECT_EQ(Status(r[2]), 1);
  EXPECT_EQ(Value(r[3]), -10001);
  EXPECT_EQ(Value(r[4]), "源数据为空");
  EXPECT_EQ(Status(r[6]), 1);
  EXPECT_EQ(Value(r[7]), -10001);
  EXPECT_EQ(Status(r[9]), 1);
  EXPECT_EQ(Value(r[10]), -10001);
  EXPECT_EQ(Status(r[11]), 1);
  EXPECT_EQ(Value(r[12]), -10001);
  EXPECT_EQ(Status(r[14]), 0) << r[14];
  EXPECT_TRUE(Dialogs().empty()) << "server mode shows no dialog";
}

TEST_F(HostEnvelopeTest, ReversedDnsAreFoundOnTheSecondAttempt) {
  AddZhangSanToAddressBook();
  const std::vector<json> r =
      Session({SetPlainText("reversed"),
               Invoke("QVSignedAndEncryptedEnvelop",
                      {"C=CN, O=ZuvirOrori, CN=Zhang San", "C=CN, O=ZuvirOrori, CN=Zhang San"}),
               SignerInfo(1), ReciptInfo(1)});
  ASSERT_EQ(Status(r[1]), 0) << r[1];
  EXPECT_EQ(Value(r[2]), kZhangSan);
  EXPECT_EQ(Value(r[3]), kZhangSan);
}

TEST_F(HostEnvelopeTest, FailedOpeningClearsTheDetailsAndKeepsTheReceivedText) {
  AddZhangSanToAddressBook();
  const std::string envelope = EnvelopeForZhangSan("kept");
  const std::vector<json> r = Session({
      Invoke("QVDecryptEnvelop", {envelope}),
      // Three zero bytes: no envelope at all.
      Invoke("QVDecryptEnvelop", {"AAAA"}),
      ErrorNum(),
      ErrMsg(),
      ReciptInfo(1),
      Invoke("QVGetPlainText"),
      Invoke("QVDecryptEnvelop", {""}),
      ErrorNum(),
      ErrMsg(),
  });
  ASSERT_EQ(Status(r[0]), 0) << r[0];
  EXPECT_EQ(Status(r[1]), 1);
  EXPECT_EQ(Value(r[2]), -10023);
  EXPECT_EQ(Value(r[3]), "解密带签名的数字信封错误");
  EXPECT_EQ(Value(r[4]), "");
  EXPECT_EQ(Value(r[5]), "kept");
  EXPECT_EQ(Status(r[6]), 1);
  EXPECT_EQ(Value(r[7]), -10001);
  EXPECT_EQ(Value(r[8]), "源数据为空");
}

TEST_F(HostEnvelopeTest, FailedSignedOpeningClearsBothDetails) {
  AddZhangSanToAddressBook();
  const std::vector<json> r = Session({
      SetPlainText("first"),
      Invoke("QVSignedAndEncryptedEnvelop", {"CN=Zhang San", "CN=Zhang San"}),
      Invoke("QVDecryptedAndVerifiedEnvelop", {"AAAA"}),
      ErrorNum(),
      SignerInfo(1),
      ReciptInfo(1),
  });
  ASSERT_EQ(Status(r[1]), 0) << r[1];
  EXPECT_EQ(Status(r[2]), 1);
  EXPECT_EQ(Value(r[3]), -10023);
  EXPECT_EQ(Value(r[4]), "");
  EXPECT_EQ(Value(r[5]), "");
}

TEST_F(HostEnvelopeTest, FailedEnvelopeClearsTheRecipientDetails) {
  AddZhangSanToAddressBook();
  // No such recipient: the second attempt offers the chooser, which is cancelled.
  Script({{{"dialog", "chooser"}, {"actions", {"cancel"}}}});
  const std::vector<json> r = Session({
      SetPlainText("first"),
      Invoke("QVEncryptedEnvelop", {"CN=Zhang San"}),
      ReciptInfo(1),
      SetPlainText("second"),
      Invoke("QVEncryptedEnvelop", {"CN=Nobody"}),
      ErrorNum(),
      ErrMsg(),
      ReciptInfo(1),
  });
  ASSERT_EQ(Status(r[1]), 0) << r[1];
  EXPECT_EQ(Value(r[2]), kZhangSan);
  EXPECT_EQ(Status(r[4]), 1);
  EXPECT_EQ(Value(r[5]), -10005);
  EXPECT_EQ(Value(r[6]), "加密失败");
  EXPECT_EQ(Value(r[7]), "");
}

TEST_F(HostEnvelopeTest, TheChooserOffersOnlyOtherParties) {
  // No DN: the user chooses among "CA", "ROOT" and "AddressBOOK".
  Script({{{"dialog", "chooser"}, {"actions", {"cancel"}}}});
  const std::vector<json> r =
      Session({SetPlainText("x"), Invoke("QVEncryptedEnvelop", {""}), ErrorNum()});
  EXPECT_EQ(Status(r[1]), 1);
  EXPECT_EQ(Value(r[2]), -10005);
  std::vector<json> choosers;
  for (const json& dialog : Dialogs()) {
    if (dialog["kind"] == "chooser") choosers.push_back(dialog);
  }
  ASSERT_EQ(choosers.size(), 1u);
  const std::string rows = choosers[0]["rows"].dump();
  EXPECT_NE(rows.find("Recipient One"), std::string::npos) << rows;
  EXPECT_EQ(rows.find("Zhang San"), std::string::npos) << rows;
}

}  // namespace
}  // namespace quorvel::tools
