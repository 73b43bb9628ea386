// Signing and verification as a page drives them: through `quorvel host
// --stdio`, over a copy of the demo PKI home, with the script UI, and checked
// against the `openssl` tool as an independent peer.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/text/base64.h"
#include "platform/text/code_page.h"
#include "tools/host_signing_fixture.h"

namespace quorvel::tools {
namespace {

TEST_F(HostSigningTest, AttachedSignatureVerifiesHereAndWithOpenssl) {
  const std::vector<json> r = Session({SetPlainText("转账 100.00 元 to account 6222"),
                                       Invoke("QVAttachedSign", {"CN=Zhang San"}), CertInfo(1)});
  ASSERT_EQ(Status(r[1]), 0) << r[1];
  const std::string base64 = Value(r[1]).get<std::string>();
  ASSERT_FALSE(base64.empty());
  // Lines of 64 characters, each ending in LF.
  for (size_t start = 0; start < base64.size();) {
    const size_t end = base64.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    if (end + 1 < base64.size()) {
      EXPECT_EQ(end - start, 64u);
    }
    start = end + 1;
  }
  EXPECT_EQ(Value(r[2]), "CN=Zhang San, O=ZuvirOrori, C=CN");

  const auto message = Write("signed.der", Decoded(r[1]));
  const auto content = root_ / "content.bin";
  ASSERT_EQ(Shell("openssl cms -verify -binary -inform DER -in " + message.string() + " -CAfile " +
                  TrustAnchors().string() + " -out " + content.string() + " 2>/dev/null"),
            0);
  // The signed bytes are the text in code page 936.
  std::string expected;
  ASSERT_EQ(platform::EncodeToCodePage(936, u"转账 100.00 元 to account 6222", expected),
            platform::CodePageStatus::kOk);
  EXPECT_EQ(ReadFile(content), expected);

  const std::vector<json> v =
      Session({Invoke("QVAttachedVerify", {Value(r[1])}), Invoke("QVGetPlainText"), CertInfo(1),
               CertInfo(2), CertInfo(3), CertInfo(4), CertInfo(5)});
  ASSERT_EQ(Status(v[0]), 0) << v[0];
  EXPECT_EQ(Value(v[1]), "转账 100.00 元 to account 6222");
  EXPECT_EQ(Value(v[2]), "CN=Zhang San, O=ZuvirOrori, C=CN");
  EXPECT_EQ(Value(v[3]), "O=ZuvirOrori, OU=config, CN=ZAZU");
  EXPECT_EQ(Value(v[4]), "2024-01-01 00:00:00GMT");
  EXPECT_EQ(Value(v[5]), "2049-12-31 23:59:59GMT");
  EXPECT_EQ(Value(v[6]), "1001");
}

TEST_F(HostSigningTest, DetachedSignatureCoversTheCodePageBytes) {
  const std::string text = "网上银行 签名";
  for (int codePage : {936, 65001}) {
    const std::vector<json> r = Session(
        {Invoke("QVSetCodePage", {codePage}), Invoke("QVDetachedSign", {text, "CN=Zhang San"}),
         Invoke("QVDetachedVerify", {"", text}), Invoke("errorNum", {}, "get")});
    ASSERT_EQ(Status(r[1]), 0) << codePage;
    std::string unused;
    const std::vector<json> v = Session(
        {Invoke("QVSetCodePage", {codePage}), Invoke("QVDetachedVerify", {Value(r[1]), text}),
         Invoke("QVDetachedVerify", {Value(r[1]), text + "!"}), Invoke("errorNum", {}, "get"),
         Invoke("QVSetCodePage", {codePage == 936 ? 65001 : 936}),
         Invoke("QVDetachedVerify", {Value(r[1]), text}), Invoke("errorNum", {}, "get")});
    EXPECT_EQ(Status(v[1]), 0) << codePage << v[1];
    EXPECT_EQ(Status(v[2]), 1);
    EXPECT_EQ(Value(v[3]), -10010);
    // The same text in the other code page is other bytes.
    EXPECT_EQ(Status(v[5]), 1);
    EXPECT_EQ(Value(v[6]), -10010);
  }
}

TEST_F(HostSigningTest, LargeAttachedMessagesAreCompressedFromTheThresholdOn) {
  const std::string text(60000, 'x');
  const std::vector<json> r = Session(
      {Put("MaxCompSize", 1000000), SetPlainText(text), Invoke("QVAttachedSign", {"CN=Zhang San"}),
       Put("MaxCompSize", 51200), SetPlainText(text), Invoke("QVAttachedSign", {"CN=Zhang San"})});
  ASSERT_EQ(Status(r[2]), 0);
  ASSERT_EQ(Status(r[5]), 0);
  const std::string plain = Decoded(r[2]);
  const std::string compressed = Decoded(r[5]);
  EXPECT_EQ(static_cast<unsigned char>(plain[0]), 0x30);
  EXPECT_EQ(static_cast<unsigned char>(compressed[0]), 0x1F);
  EXPECT_EQ(static_cast<unsigned char>(compressed[1]), 0x8B);

  // A threshold of exactly the DER's length compresses; one more does not.
  const auto length = static_cast<int64_t>(plain.size());
  const std::vector<json> t =
      Session({Put("MaxCompSize", length + 1), SetPlainText(text),
               Invoke("QVAttachedSign", {"CN=Zhang San"}), Put("MaxCompSize", length),
               SetPlainText(text), Invoke("QVAttachedSign", {"CN=Zhang San"})});
  EXPECT_EQ(static_cast<unsigned char>(Decoded(t[2])[0]), 0x30);
  EXPECT_EQ(static_cast<unsigned char>(Decoded(t[5])[0]), 0x1F);
  const std::vector<json> v =
      Session({Invoke("QVAttachedVerify", {Value(t[5])}), Invoke("QVGetPlainText")});
  ASSERT_EQ(Status(v[0]), 0);
  EXPECT_EQ(Value(v[1]), text);
}

TEST_F(HostSigningTest, RawSignatureAndDigest) {
  const std::vector<json> r =
      Session({SetPlainText("abc"), Invoke("QVRawSign", {"CN=Legacy Key 1024"}),
               Invoke("QVHashAndBase64Encode", {"abc"})});
  ASSERT_EQ(Status(r[1]), 0) << r[1];
  const std::string signature = Decoded(r[1]);
  EXPECT_EQ(signature.size(), 128u);
  EXPECT_EQ(Value(r[2]), "qZk+NkcGgWq6PiVxeFDCbJzQ2J0=\n");
  EXPECT_EQ(Value(r[2]).get<std::string>().size(), 29u);

  // A standard verifier accepts it over the SHA-1 DigestInfo of "abc".
  std::string output;
  ASSERT_EQ(Run({"store", "list", "--store", "MY", "--json"}, "", output), 0);
  std::string sha1;
  for (const json& entry : json::parse(output)) {
    if (entry["subject"].get<std::string>().find("Legacy Key 1024") != std::string::npos) {
      sha1 = entry["sha1"];
    }
  }
  ASSERT_FALSE(sha1.empty()) << output;
  std::string pem;
  ASSERT_EQ(Run({"store", "export", "--store", "MY", sha1, "--pem"}, "", pem), 0);
  const auto certificate = Write("legacy.pem", pem);
  const auto digestInfo =
      Write("digestinfo.bin",
            std::string("\x30\x21\x30\x09\x06\x05\x2b\x0e\x03\x02\x1a\x05\x00\x04\x14", 15) +
                std::string("\xa9\x99\x3e\x36\x47\x06\x81\x6a\xba\x3e\x25\x71\x78\x50"
                            "\xc2\x6c\x9c\xd0\xd8\x9d",
                            20));
  const auto signatureFile = Write("signature.bin", signature);
  EXPECT_EQ(Shell("openssl pkeyutl -verify -certin -inkey " + certificate.string() + " -in " +
                  digestInfo.string() + " -sigfile " + signatureFile.string() + " >/dev/null 2>&1"),
            0);
}

TEST_F(HostSigningTest, ChooserFlows) {
  // Two certificates hold "CN=Zhang": the chooser offers both; cancelling fails.
  Script({{{"dialog", "chooser"}, {"actions", {"cancel"}}}});
  const std::vector<json> r = Session({SetPlainText("x"), Invoke("QVAttachedSign", {"CN=Zhang"}),
                                       Invoke("errorNum", {}, "get"), Invoke("errMsg", {}, "get")});
  EXPECT_EQ(Status(r[1]), 1);
  EXPECT_EQ(Value(r[2]), -10005);
  EXPECT_EQ(Value(r[3]), "签名失败");
  std::vector<json> choosers = ChooserDialogs();
  ASSERT_EQ(choosers.size(), 1u);
  EXPECT_EQ(choosers[0]["rows"].size(), 2u);

  // A DN in the reverse order signs through the second attempt, without a dialog.
  const std::vector<json> reversed =
      Session({SetPlainText("x"), Invoke("QVAttachedSign", {"C=CN,O=ZuvirOrori,CN=Zhang San"}),
               CertInfo(1)});
  EXPECT_EQ(Status(reversed[1]), 0) << reversed[1];
  EXPECT_EQ(Value(reversed[2]), "CN=Zhang San, O=ZuvirOrori, C=CN");
  EXPECT_EQ(ChooserDialogs().size(), 1u);

  // Server mode never shows a dialog.
  const std::vector<json> server = Session({Put("QVServerMode", 1), SetPlainText("x"),
                                            Invoke("QVAttachedSign", {"CN=Zhang"}), CertInfo(1)});
  EXPECT_EQ(Status(server[2]), 0) << server[2];
  EXPECT_EQ(ChooserDialogs().size(), 1u);

  // No serial number: the user chooses; a serial number under the default
  // issuer signs directly.
  Script({{{"dialog", "chooser"}, {"actions", {{{"select", 0}}, "ok"}}}});
  const std::vector<json> bySerial =
      Session({SetPlainText("x"), Invoke("QVAttachedSignBySN", {""}), SetPlainText("x"),
               Invoke("QVAttachedSignBySN", {"1004"}), CertInfo(1)});
  EXPECT_EQ(Status(bySerial[1]), 0) << bySerial[1];
  EXPECT_EQ(Status(bySerial[3]), 0) << bySerial[3];
  EXPECT_EQ(Value(bySerial[4]), "C=CN, O=ZuvirOrori, CN=李四");
  // The log keeps the first session's chooser; this one is the second.
  choosers = ChooserDialogs();
  ASSERT_EQ(choosers.size(), 2u);
  EXPECT_GE(choosers[1]["rows"].size(), 5u);
}

TEST_F(HostSigningTest, SignerChecksDecideVerification) {
  auto signAs = [&](const std::string& dn) {
    const std::vector<json> r =
        Session({Put("QVServerMode", 1), SetPlainText("x"), Invoke("QVAttachedSign", {dn})});
    EXPECT_EQ(Status(r[2]), 0) << dn << r[2];
    return Value(r[2]).get<std::string>();
  };
  auto verify = [&](const std::string& member, const std::string& message) {
    const std::vector<json> r = Session({Invoke(member, {message}), Invoke("errorNum", {}, "get")});
    return Value(r[1]).get<int>();
  };
  const std::string expired = signAs("CN=Expired User");
  EXPECT_EQ(verify("QVAttachedVerify", expired), -10011);
  EXPECT_EQ(verify("QVAfterwardsVerify", expired), 0);
  EXPECT_EQ(verify("QVAttachedVerify", signAs("CN=Orphan User")), -10014);
  EXPECT_EQ(verify("QVAttachedVerify", signAs("CN=Revoked User")), -10012);

  const std::vector<json> noKey =
      Session({Put("QVServerMode", 1), SetPlainText("x"),
               Invoke("QVAttachedSign", {"CN=No Key Holder"}), Invoke("errorNum", {}, "get")});
  EXPECT_EQ(Status(noKey[2]), 1);
  EXPECT_EQ(Value(noKey[3]), -10015);
}

TEST_F(HostSigningTest, StoredTextAndDetailsFollowTheStateRules) {
  const std::vector<json> r = Session({
      SetPlainText("x"), Invoke("QVAttachedSign", {"CN=Zhang San"}),  // 1: consumes the stored text
      Invoke("QVAttachedSign", {"CN=Zhang San"}),                     // 2: nothing left
      Invoke("errorNum", {}, "get"),                                  // 3
      CertInfo(1),                                                    // 4: cleared by the failure
      Invoke("errorCode", {}, "get"),                                 // 5: no engine ran
      SetPlainText("y"),
      Invoke("QVDetachedSign", {"z", "CN=Zhang San"}),  // 7: leaves the stored text
      Invoke("errorNum", {}, "get"),                    // 8
      Invoke("QVAttachedSign", {"CN=Zhang San"}),       // 9: signs "y"
      SetPlainText("w"),
      Invoke("QVDetachedSignBySN", {"z", "1001"}),  // 11: empties the stored text
      Invoke("QVAttachedSign", {"CN=Zhang San"}),   // 12
      Invoke("errorNum", {}, "get"),                // 13
  });
  EXPECT_EQ(Status(r[1]), 0);
  EXPECT_EQ(Status(r[2]), 1);
  EXPECT_EQ(Value(r[3]), -10001);
  EXPECT_EQ(Value(r[4]), "");
  EXPECT_EQ(Value(r[5]), 0);
  EXPECT_EQ(Status(r[7]), 0);
  EXPECT_EQ(Value(r[8]), 0);
  EXPECT_EQ(Status(r[9]), 0);
  EXPECT_EQ(Status(r[11]), 0) << r[11];
  EXPECT_EQ(Status(r[12]), 1);
  EXPECT_EQ(Value(r[13]), -10001);

  // A failed engine call reports its platform value in errorCode.
  const std::vector<json> v =
      Session({Invoke("QVAttachedVerify", {Value(r[9])}), Invoke("QVGetPlainText"),
               Invoke("QVAttachedVerify", {"MIIB"}), Invoke("errorNum", {}, "get"),
               Invoke("QVGetPlainText"), CertInfo(1)});
  EXPECT_EQ(Value(v[1]), "y");
  EXPECT_EQ(Status(v[2]), 1);
  EXPECT_LT(Value(v[3]).get<int>(), 0);
  EXPECT_EQ(Value(v[4]), "y");  // kept after the failure
  EXPECT_EQ(Value(v[5]), "");
}

TEST_F(HostSigningTest, FormItemsAndAFileTravelInsideASignature) {
  const std::string content("line one\nline two\0binary\xff", 26);
  const auto file = Write("report.bin", content);
  Script({{{"dialog", "save"}, {"path", (root_ / "received.bin").string()}}});
  const std::vector<json> r =
      Session({Invoke("QVAddFormItem", {"amount=100.00"}), Invoke("QVAddFormItem", {"payee=李四"}),
               Invoke("QVAddFile", {file.string()}), Invoke("QVAttachedSign", {"CN=Zhang San"})});
  ASSERT_EQ(Status(r[3]), 0) << r[3];
  const std::vector<json> v = Session(
      {Invoke("QVAttachedVerify", {Value(r[3])}), Invoke("QVGetFormItem"), Invoke("QVGetFormItem"),
       Invoke("QVGetFile"), Invoke("QVGetFormItem"), Invoke("errorNum", {}, "get")});
  ASSERT_EQ(Status(v[0]), 0) << v[0];
  EXPECT_EQ(Value(v[1]), "amount=100.00");
  EXPECT_EQ(Value(v[2]), "payee=李四");
  EXPECT_EQ(Value(v[3]), "report.bin");
  EXPECT_EQ(ReadFile(root_ / "received.bin"), content);
  EXPECT_EQ(Status(v[4]), 1);
  EXPECT_EQ(Value(v[5]), -10001);
}

}  // namespace
}  // namespace quorvel::tools
