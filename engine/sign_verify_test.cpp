// PKCS#7 signing and verification over the demo home: results, compression,
// selection flows, the signer checks, and acceptance by the openssl tool.
#include <gtest/gtest.h>

#include <string>

#include "container/compress.h"
#include "engine/engine.h"
#include "engine/engine_errors.h"
#include "engine/engine_test_support.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::engine {
namespace {

using nlohmann::json;

class SignVerifyTest : public testing::EngineTest {
 protected:
  ErrorNumber SignAs(std::string_view data, std::u16string_view dn, bool detached, SignOutput& out,
                     bool serverMode = false, int32_t threshold = 51200) {
    lastError_ = platform::error::kOk;
    return SignP7(data, serverMode, detached, dn, u"|", Settings(threshold), out, lastError_);
  }

  platform::Status lastError_ = platform::error::kOk;
};

TEST_F(SignVerifyTest, AttachedSignatureVerifiesAndGivesContentAndSignerDetails) {
  SignOutput signed_;
  ASSERT_EQ(SignAs("pay 100 to Li Si", u"CN=Zhang San", false, signed_), err::kOk);
  // Lines of 64 characters, each ending in LF.
  ASSERT_FALSE(signed_.base64.empty());
  EXPECT_EQ(signed_.base64.back(), '\n');
  for (std::size_t start = 0; start < signed_.base64.size();) {
    const std::size_t end = signed_.base64.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    if (end + 1 < signed_.base64.size()) {
      EXPECT_EQ(end - start, 64u);
    }
    start = end + 1;
  }
  EXPECT_EQ(static_cast<uint8_t>(Decode(signed_.base64).front()), 0x30);
  EXPECT_EQ(SubjectOf(signed_.signer), "CN=Zhang San, O=ZuvirOrori, C=CN");
  for (const auto& detail : signed_.signer) EXPECT_TRUE(detail && !detail->empty());

  std::string content = "left over";
  CertDetails signer;
  platform::Status lastError = platform::error::kOk;
  ASSERT_EQ(VerifyP7(signed_.base64, content, signer, true, lastError), err::kOk);
  EXPECT_EQ(content, "pay 100 to Li Si");
  EXPECT_EQ(signer, signed_.signer);
  EXPECT_EQ(platform::Utf16ToUtf8(*signer[1]), "O=ZuvirOrori, OU=config, CN=ZAZU");
  EXPECT_EQ(platform::Utf16ToUtf8(*signer[4]), "1001");

  // The same message without its line breaks verifies alike.
  std::string flat = signed_.base64;
  std::erase(flat, '\n');
  content.clear();
  EXPECT_EQ(VerifyP7(flat, content, signer, true, lastError), err::kOk);
  EXPECT_EQ(content, "pay 100 to Li Si");
  EXPECT_EQ(lastError, platform::error::kOk);
}

TEST_F(SignVerifyTest, DetachedSignatureCarriesNoContentAndFailsOnOneChangedByte) {
  // "中文 text" in code page 936 and in UTF-8: the engine signs bytes as given.
  for (const std::string& data :
       {std::string("\xD6\xD0\xCE\xC4 text"), std::string("\xE4\xB8\xAD\xE6\x96\x87 text")}) {
    SignOutput signed_;
    ASSERT_EQ(SignAs(data, u"CN=Zhang San", true, signed_), err::kOk);
    EXPECT_EQ(Decode(signed_.base64).find(data), std::string::npos);

    std::string content = data;
    CertDetails signer;
    platform::Status lastError = platform::error::kOk;
    EXPECT_EQ(VerifyP7(signed_.base64, content, signer, false, lastError), err::kOk);
    EXPECT_EQ(SubjectOf(signer), "CN=Zhang San, O=ZuvirOrori, C=CN");

    content = data;
    content[0] = static_cast<char>(content[0] ^ 0x01);
    EXPECT_EQ(VerifyP7(signed_.base64, content, signer, false, lastError), err::kInvalidSignature);
    EXPECT_EQ(lastError, platform::error::kBadSignature);
    EXPECT_TRUE(content.empty());
    EXPECT_FALSE(signer[0]);

    // A detached message has no content to verify in attached mode.
    EXPECT_EQ(VerifyP7(signed_.base64, content, signer, true, lastError), err::kVerifyFailed);
    EXPECT_EQ(lastError, platform::error::kInvalidMessageType);
    // Detached verification needs the signed bytes.
    content.clear();
    EXPECT_EQ(VerifyP7(signed_.base64, content, signer, false, lastError), err::kEmptyInput);
  }
}

TEST_F(SignVerifyTest, AttachedMessagesAreCompressedFromTheThresholdOn) {
  // The message grows byte for byte with the content in this range, so the
  // content that makes a DER message of 51199 bytes follows from one probe.
  constexpr std::size_t kProbe = 49000;
  SignOutput probe;
  ASSERT_EQ(SignAs(std::string(kProbe, 'a'), u"CN=Zhang San", false, probe, false, 1 << 30),
            err::kOk);
  const std::size_t probeSize = Decode(probe.base64).size();
  ASSERT_LT(probeSize, 51199u);
  const std::size_t below = kProbe + (51199 - probeSize);

  SignOutput small;
  ASSERT_EQ(SignAs(std::string(below, 'a'), u"CN=Zhang San", false, small), err::kOk);
  const std::string smallDer = Decode(small.base64);
  EXPECT_EQ(smallDer.size(), 51199u);
  EXPECT_EQ(static_cast<uint8_t>(smallDer[0]), 0x30);

  SignOutput large;
  ASSERT_EQ(SignAs(std::string(below + 1, 'a'), u"CN=Zhang San", false, large), err::kOk);
  const std::string compressed = Decode(large.base64);
  ASSERT_GE(compressed.size(), 2u);
  EXPECT_EQ(static_cast<uint8_t>(compressed[0]), 0x1F);
  EXPECT_EQ(static_cast<uint8_t>(compressed[1]), 0x8B);
  EXPECT_LT(compressed.size(), 51200u);

  std::string content;
  CertDetails signer;
  platform::Status lastError = platform::error::kOk;
  ASSERT_EQ(VerifyP7(large.base64, content, signer, true, lastError), err::kOk);
  EXPECT_EQ(content, std::string(below + 1, 'a'));
  content.clear();
  ASSERT_EQ(VerifyP7Afterwards(large.base64, content, signer, lastError), err::kOk);
  EXPECT_EQ(content.size(), below + 1);

  // Detached messages are never compressed, whatever their size.
  SignOutput detached;
  ASSERT_EQ(SignAs(std::string(below + 1, 'a'), u"CN=Zhang San", true, detached, false, 1),
            err::kOk);
  EXPECT_EQ(static_cast<uint8_t>(Decode(detached.base64)[0]), 0x30);
}

TEST_F(SignVerifyTest, OpensslAcceptsAttachedAndDetachedMessagesWithTheDemoRoot) {
  const std::string root = CertFile("ROOT", u"CN=ZuvirOrori Root CA", "root.pem");
  const std::string zazu = CertFile("CA", u"CN=ZAZU", "zazu.pem");
  // The message carries the signer's certificate alone, and openssl's cms
  // command builds chains only from its trusted file: ZAZU joins the root
  // there, and the signer's chain to the root alone is checked on its own.
  const std::string authorities =
      WriteFile("authorities.pem", ReadFile("root.pem") + ReadFile("zazu.pem"));
  const std::string data = "\xD6\xD0\xCE\xC4 transfer 42";

  SignOutput attached;
  ASSERT_EQ(SignAs(data, u"CN=Zhang Wei", false, attached), err::kOk);
  const std::string message = WriteFile("attached.p7", Decode(attached.base64));
  const std::string out = (root_ / "attached.out").string();
  const std::string signerFile = (root_ / "signer.pem").string();
  EXPECT_EQ(Run("openssl cms -verify -binary -inform DER -in " + message + " -CAfile " +
                authorities + " -signer " + signerFile + " -out " + out),
            0)
      << CommandOutput();
  EXPECT_EQ(ReadFile("attached.out"), data);
  EXPECT_EQ(Run("openssl verify -CAfile " + root + " -untrusted " + zazu + " " + signerFile), 0)
      << CommandOutput();

  SignOutput detached;
  ASSERT_EQ(SignAs(data, u"CN=Zhang Wei", true, detached), err::kOk);
  const std::string signature = WriteFile("detached.p7", Decode(detached.base64));
  const std::string content = WriteFile("content.bin", data);
  EXPECT_EQ(Run("openssl cms -verify -binary -inform DER -in " + signature + " -content " +
                content + " -CAfile " + authorities + " -out /dev/null"),
            0)
      << CommandOutput();
  const std::string changed = WriteFile("changed.bin", data + "!");
  EXPECT_NE(Run("openssl cms -verify -binary -inform DER -in " + signature + " -content " +
                changed + " -CAfile " + authorities + " -out /dev/null"),
            0);
}

TEST_F(SignVerifyTest, SeveralMatchesOpenTheChooserAndACancelledOneEndsTheSearch) {
  Answer({json::array({json{{"ok", 1}}}), json::array({"cancel"})});
  SignOutput chosen;
  ASSERT_EQ(SignAs("x", u"CN=Zhang", false, chosen), err::kOk);
  EXPECT_EQ(SubjectOf(chosen.signer), "C=CN, O=ZuvirOrori, CN=Zhang Wei");
  ASSERT_EQ(Choosers().size(), 1u);
  EXPECT_EQ(Choosers()[0]["rows"].size(), 2u);

  SignOutput cancelled;
  EXPECT_EQ(SignAs("x", u"CN=Zhang", false, cancelled), err::kNoCertificate);
  EXPECT_TRUE(cancelled.base64.empty());
  EXPECT_FALSE(cancelled.signer[0]);
  // No second attempt after the cancelled chooser.
  EXPECT_EQ(Choosers().size(), 2u);
  EXPECT_EQ(lastError_, platform::error::kOk);
}

TEST_F(SignVerifyTest, AReversedDnSignsThroughTheSecondAttemptAndServerModeNeverAsks) {
  SignOutput reversed;
  ASSERT_EQ(SignAs("x", u"C=CN,O=ZuvirOrori,CN=Zhang San", false, reversed), err::kOk);
  EXPECT_EQ(SubjectOf(reversed.signer), "CN=Zhang San, O=ZuvirOrori, C=CN");
  EXPECT_TRUE(Choosers().empty());

  SignOutput server;
  ASSERT_EQ(SignAs("x", u"CN=Zhang", false, server, true), err::kOk);
  EXPECT_EQ(SubjectOf(server.signer), "CN=Zhang San, O=ZuvirOrori, C=CN");
  // No reversed attempt in server mode either.
  EXPECT_EQ(SignAs("x", u"C=CN, O=ZuvirOrori, CN=Zhang San", false, server, true),
            err::kNoCertificate);
  EXPECT_TRUE(Choosers().empty());

  // Nothing matches either way: the second attempt shows the empty chooser.
  EXPECT_EQ(SignAs("x", u"CN=Nobody", false, server), err::kNoCertificate);
  ASSERT_EQ(Choosers().size(), 1u);
  EXPECT_TRUE(Choosers()[0]["rows"].empty());
}

TEST_F(SignVerifyTest, SignatureKeyVariantAndNoDnChoice) {
  SignSettings settings = Settings();
  settings.signatureKeysOnly = true;
  SignOutput out;
  platform::Status lastError = platform::error::kOk;
  // Only Zhang Wei holds a signature key among the two "CN=Zhang".
  ASSERT_EQ(SignP7("x", false, false, u"CN=Zhang", u"|", settings, out, lastError), err::kOk);
  EXPECT_EQ(SubjectOf(out.signer), "C=CN, O=ZuvirOrori, CN=Zhang Wei");
  EXPECT_TRUE(Choosers().empty());

  // Without a DN the user chooses among all the signature keys.
  Answer({json::array({json{{"ok", 0}}})});
  ASSERT_EQ(SignP7("x", false, false, std::nullopt, u"|", settings, out, lastError), err::kOk);
  ASSERT_EQ(Choosers().size(), 1u);
  EXPECT_EQ(Names(Choosers()[0]["rows"]), (std::vector<std::string>{"Zhang Wei", "李四"}));
}

TEST_F(SignVerifyTest, SelectionBySerialNumber) {
  SignOutput out;
  platform::Status lastError = platform::error::kOk;
  ASSERT_EQ(SignP7BySerial("x", false, u"1003", certs::testing::kZazu, Settings(), out, lastError),
            err::kOk);
  EXPECT_EQ(SubjectOf(out.signer), "C=CN, O=ZuvirOrori, CN=张三丰");
  // The issuer written in the opposite order finds it through the second attempt.
  ASSERT_EQ(SignP7BySerial("x", true, u"0A0B 1004", u"CN=ZAZU,OU=config,O=ZuvirOrori", Settings(),
                           out, lastError),
            err::kOk);
  EXPECT_EQ(SubjectOf(out.signer), "C=CN, O=ZuvirOrori, CN=李四");
  EXPECT_TRUE(Choosers().empty());

  EXPECT_EQ(SignP7BySerial("x", false, u"1003", u"CN=Elsewhere", Settings(), out, lastError),
            err::kNoCertificate);
  EXPECT_EQ(SignP7BySerial("x", false, u"1003", u"", Settings(), out, lastError), err::kEmptyInput);

  // No serial number: the user chooses.
  Answer({json::array({json{{"ok", 2}}})});
  ASSERT_EQ(SignP7BySerial("x", false, std::nullopt, u"", Settings(), out, lastError), err::kOk);
  ASSERT_EQ(Choosers().size(), 1u);
  EXPECT_EQ(SubjectOf(out.signer),
            "C=CN, O=ZuvirOrori, CN=" + Choosers()[0]["rows"][2][0].get<std::string>());
}

TEST_F(SignVerifyTest, SigningFailures) {
  SignOutput out;
  // Server mode takes the first match whatever its key: this one has none.
  EXPECT_EQ(SignAs("x", u"CN=No Key Holder", false, out, true), err::kNoPrivateKey);
  EXPECT_EQ(lastError_, platform::error::kNoKeyProperty);
  EXPECT_TRUE(out.base64.empty());

  SignSettings settings = Settings();
  settings.digestOid = "1.2.3.4";
  platform::Status lastError = platform::error::kOk;
  EXPECT_EQ(SignP7("x", false, false, u"CN=Zhang San", u"|", settings, out, lastError),
            err::kBadAlgorithm);
  EXPECT_EQ(lastError, platform::error::kBadAlgId);

  lastError = platform::error::kOk;
  EXPECT_EQ(SignP7("", false, false, u"CN=Zhang San", u"|", Settings(), out, lastError),
            err::kEmptyInput);
  EXPECT_EQ(lastError, platform::error::kOk);
}

TEST_F(SignVerifyTest, SignerChecksDecideVerification) {
  struct Case {
    std::u16string_view dn;
    ErrorNumber now;
    ErrorNumber afterwards;
  };
  for (const Case& c : {Case{u"CN=Expired User", err::kCertExpired, err::kOk},
                        Case{u"CN=Revoked User", err::kCertRevoked, err::kChainInvalid},
                        Case{u"CN=Orphan User", err::kIssuerNotFound, err::kIssuerNotFound}}) {
    SCOPED_TRACE(platform::Utf16ToUtf8(c.dn));
    SignOutput out;
    ASSERT_EQ(SignAs("signed long ago", c.dn, false, out), err::kOk);
    std::string content;
    CertDetails signer;
    platform::Status lastError = platform::error::kOk;
    EXPECT_EQ(VerifyP7(out.base64, content, signer, true, lastError), c.now);
    EXPECT_EQ(content.empty(), c.now != err::kOk);
    EXPECT_EQ(VerifyP7Afterwards(out.base64, content, signer, lastError), c.afterwards);
    EXPECT_EQ(content == "signed long ago", c.afterwards == err::kOk);
    EXPECT_EQ(signer[0].has_value(), c.afterwards == err::kOk);
    // The chain checks report no platform value.
    EXPECT_EQ(lastError, platform::error::kOk);
  }
}

TEST_F(SignVerifyTest, HostileMessagesAreRefusedCleanly) {
  std::string content;
  CertDetails signer;
  platform::Status lastError = platform::error::kOk;
  EXPECT_EQ(VerifyP7("", content, signer, true, lastError), err::kEmptyInput);
  EXPECT_EQ(VerifyP7("QUJD\nRA", content, signer, true, lastError), err::kBase64Decode);
  EXPECT_EQ(lastError, platform::error::kOk);

  // Not DER at all.
  EXPECT_EQ(VerifyP7(platform::Base64Encode("not a message"), content, signer, true, lastError),
            err::kVerifyFailed);
  EXPECT_EQ(lastError, platform::error::kAsn1Corrupt);

  // A valid message cut short, and the message with one byte changed in each
  // position. Fields that neither the signature nor the certificate cover
  // (versions, algorithm lists) may change harmlessly; a changed content,
  // certificate or signature value never verifies, and nothing but the signed
  // content and its signer ever comes out.
  SignOutput out;
  ASSERT_EQ(SignAs("abc", u"CN=Zhang San", false, out), err::kOk);
  const std::string der = Decode(out.base64);
  EXPECT_NE(VerifyP7(platform::Base64Encode(der.substr(0, der.size() / 2)), content, signer, true,
                     lastError),
            err::kOk);
  const std::size_t contentAt = der.find("abc");
  const platform::CertContextRef zhangSan = Cert("MY", u"CN=Zhang San");
  ASSERT_TRUE(zhangSan);
  const auto certificate = zhangSan->certificate().Der();
  const std::size_t certificateEnd =
      der.find(std::string(certificate.begin(), certificate.end())) + certificate.size();
  ASSERT_NE(contentAt, std::string::npos);
  ASSERT_GT(certificateEnd, certificate.size());
  const std::size_t signatureAt = der.size() - 256;
  for (std::size_t i = 0; i < der.size(); i += i < 600 ? 1 : 7) {
    std::string mutated = der;
    mutated[i] = static_cast<char>(mutated[i] ^ 0x5A);
    content.clear();
    const ErrorNumber result =
        VerifyP7(platform::Base64Encode(mutated), content, signer, true, lastError);
    if (result == err::kOk) {
      EXPECT_TRUE(i < contentAt || (i >= certificateEnd && i < signatureAt))
          << "changed byte " << i << " verified";
      EXPECT_EQ(content, "abc");
      EXPECT_EQ(SubjectOf(signer), "CN=Zhang San, O=ZuvirOrori, C=CN");
    } else {
      EXPECT_TRUE(content.empty());
    }
  }

  // A gzip member that claims to hold a message but holds garbage.
  std::vector<uint8_t> gzip(64, 0x30);
  container::CompressIfLarge(gzip, 1);
  EXPECT_EQ(VerifyP7(platform::Base64Encode(std::string(gzip.begin(), gzip.end())), content, signer,
                     true, lastError),
            err::kVerifyFailed);
  EXPECT_TRUE(content.empty());
}

}  // namespace
}  // namespace quorvel::engine
