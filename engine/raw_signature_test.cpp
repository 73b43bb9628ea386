// Raw signatures and digests over the demo home, and acceptance of raw
// signatures by the openssl tool.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine/engine.h"
#include "engine/engine_errors.h"
#include "engine/engine_test_support.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::engine {
namespace {

using nlohmann::json;
using namespace std::string_view_literals;

// The DER prefix of a DigestInfo holding a SHA-1 digest.
constexpr std::string_view kSha1DigestInfoPrefix =
    "\x30\x21\x30\x09\x06\x05\x2b\x0e\x03\x02\x1a\x05\x00\x04\x14"sv;

class RawSignatureTest : public testing::EngineTest {
 protected:
  ErrorNumber Sign(std::string_view data, std::u16string_view dn, SignOutput& out,
                   bool serverMode = false) {
    lastError_ = platform::error::kOk;
    return RawSign(data, serverMode, dn, u"|", Settings(), out, lastError_);
  }
  ErrorNumber Check(std::string_view signature, std::string_view data, std::u16string_view dn,
                    std::string_view digestOid = testing::kSha1Oid) {
    lastError_ = platform::error::kOk;
    return RawVerify(signature, false, data, dn, u"|", digestOid, certs::testing::DefaultTexts(),
                     signer_, lastError_);
  }
  // Makes a signer's certificate of "MY" known to verifiers, as a partner's.
  void Publish(std::u16string_view subject) {
    const platform::CertContextRef legacy = Cert("MY", subject);
    ASSERT_TRUE(legacy);
    certs::testing::Stores book = Open({"AddressBOOK"});
    ASSERT_EQ(book[0].AddCertificate(legacy->certificate().Der(), {},
                                     platform::AddDisposition::kNew, nullptr),
              platform::error::kOk);
  }

  platform::Status lastError_ = platform::error::kOk;
  CertDetails signer_;
};

TEST_F(RawSignatureTest, SignatureIsBigEndianAndOpensslAcceptsIt) {
  SignOutput out;
  ASSERT_EQ(Sign("abc", u"CN=Legacy Key 1024", out), err::kOk);
  const std::string signature = Decode(out.base64);
  ASSERT_EQ(signature.size(), 128u);
  EXPECT_EQ(SubjectOf(out.signer), "C=CN, O=ZuvirOrori, CN=Legacy Key 1024");

  // openssl recovers the DigestInfo of SHA-1("abc") from the signature.
  const std::string digest = Decode("qZk+NkcGgWq6PiVxeFDCbJzQ2J0=");
  const std::string digestInfo =
      WriteFile("digestinfo.der", std::string(kSha1DigestInfoPrefix) + digest);
  const std::string signatureFile = WriteFile("signature.bin", signature);
  const std::string cert = CertFile("MY", u"CN=Legacy Key 1024", "legacy.pem");
  EXPECT_EQ(Run("openssl pkeyutl -verify -certin -inkey " + cert + " -in " + digestInfo +
                " -sigfile " + signatureFile),
            0)
      << CommandOutput();
  // The same bytes least significant first are no signature.
  std::string reversed(signature.rbegin(), signature.rend());
  const std::string reversedFile = WriteFile("reversed.bin", reversed);
  EXPECT_NE(Run("openssl pkeyutl -verify -certin -inkey " + cert + " -in " + digestInfo +
                " -sigfile " + reversedFile),
            0);
}

TEST_F(RawSignatureTest, VerificationUsesTheCertificatesOfOtherParties) {
  SignOutput out;
  ASSERT_EQ(Sign("\xD6\xD0\xCE\xC4", u"CN=Legacy Key 1024", out), err::kOk);

  // Only in "MY": the verifier does not look there.
  EXPECT_EQ(Check(out.base64, "\xD6\xD0\xCE\xC4", u"CN=Legacy Key 1024"), err::kNoCertificate);

  Publish(u"CN=Legacy Key 1024");
  ASSERT_EQ(Check(out.base64, "\xD6\xD0\xCE\xC4", u"CN=Legacy Key 1024"), err::kOk);
  EXPECT_EQ(SubjectOf(signer_), "C=CN, O=ZuvirOrori, CN=Legacy Key 1024");
  EXPECT_EQ(lastError_, platform::error::kOk);

  EXPECT_EQ(Check(out.base64, "\xD6\xD0\xCE\xC5", u"CN=Legacy Key 1024"), err::kVerifyHash);
  EXPECT_EQ(lastError_, platform::error::kBadSignature);
  EXPECT_FALSE(signer_[0]);

  const std::string bigEndian = Decode(out.base64);
  const std::string littleEndian =
      platform::Base64Encode(std::string(bigEndian.rbegin(), bigEndian.rend()));
  EXPECT_EQ(Check(littleEndian, "\xD6\xD0\xCE\xC4", u"CN=Legacy Key 1024"), err::kVerifyHash);

  EXPECT_EQ(Check(out.base64, "\xD6\xD0\xCE\xC4", u"CN=Legacy Key 1024", "1.2.3.4"),
            err::kCreateHash);
  EXPECT_EQ(lastError_, platform::error::kBadAlgId);
  EXPECT_EQ(Check("", "x", u"CN=Legacy Key 1024"), err::kEmptyInput);
  EXPECT_EQ(Check(out.base64, "", u"CN=Legacy Key 1024"), err::kEmptyInput);
  EXPECT_EQ(Check("QUJ", "x", u"CN=Legacy Key 1024"), err::kBase64Decode);
}

TEST_F(RawSignatureTest, TheVerifierChecksTheSignersChainBeforeTheSignature) {
  // The expired signer still signs; once its certificate is known to the
  // verifier, the chain check refuses it whatever the signature.
  SignOutput out;
  ASSERT_EQ(Sign("abc", u"CN=Expired User", out), err::kOk);
  Publish(u"CN=Expired User");
  EXPECT_EQ(Check(out.base64, "abc", u"CN=Expired User"), err::kCertExpired);
  EXPECT_EQ(Check(out.base64, "changed", u"CN=Expired User"), err::kCertExpired);
  EXPECT_EQ(lastError_, platform::error::kOk);

  // A partner's certificate that checks out, but whose key did not sign.
  ASSERT_EQ(Sign("abc", u"CN=Zhang San", out), err::kOk);
  EXPECT_EQ(Check(out.base64, "abc", u"CN=Recipient One"), err::kVerifyHash);
}

TEST_F(RawSignatureTest, SigningFailures) {
  SignOutput out;
  // Server mode takes the first match, here a certificate without a key.
  EXPECT_EQ(Sign("abc", u"CN=No Key Holder", out, true), err::kSignHash);
  EXPECT_NE(lastError_, platform::error::kOk);
  EXPECT_TRUE(out.base64.empty());

  SignSettings settings = Settings();
  settings.digestOid = "1.2.3.4";
  platform::Status lastError = platform::error::kOk;
  EXPECT_EQ(RawSign("abc", false, u"CN=Zhang San", u"|", settings, out, lastError),
            err::kCreateHash);
  EXPECT_EQ(lastError, platform::error::kBadAlgId);

  Answer({json::array({"cancel"})});
  EXPECT_EQ(Sign("abc", u"CN=Zhang", out), err::kNoCertificate);
  EXPECT_EQ(Choosers().size(), 1u);
  EXPECT_EQ(Sign("", u"CN=Zhang San", out), err::kEmptyInput);
}

TEST(HashAndBase64Test, DigestsByAlgorithm) {
  std::string base64;
  ASSERT_EQ(HashAndBase64("abc", testing::kSha1Oid, base64), err::kOk);
  EXPECT_EQ(base64, "qZk+NkcGgWq6PiVxeFDCbJzQ2J0=\n");
  EXPECT_EQ(base64.size(), 29u);
  ASSERT_EQ(HashAndBase64("abc", "2.16.840.1.101.3.4.2.1", base64), err::kOk);
  EXPECT_EQ(base64, "ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=\n");
  // A SHA-512 digest is 88 characters: a line of 64 and one of 24.
  ASSERT_EQ(HashAndBase64("abc", "2.16.840.1.101.3.4.2.3", base64), err::kOk);
  EXPECT_EQ(base64.size(), 88u + 2u);
  EXPECT_EQ(base64[64], '\n');

  EXPECT_EQ(HashAndBase64("abc", "1.2.840.113549.1.1.1", base64), err::kDigestOrDecryptFailed);
  EXPECT_TRUE(base64.empty());
  EXPECT_EQ(HashAndBase64("", testing::kSha1Oid, base64), err::kEmptyInput);
}

}  // namespace
}  // namespace quorvel::engine
