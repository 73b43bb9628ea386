// The message functions against a real peer: the `openssl` command-line tool
// verifies and opens what they make, and they verify and open what it makes.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/messages/message_envelope.h"
#include "platform/messages/message_sign.h"
#include "platform/messages/message_signed_envelope.h"
#include "platform/messages/message_test_support.h"
#include "platform/messages/message_verify.h"

namespace quorvel::platform {
namespace {

using testing::ToBytes;

// The tool needs the legacy provider for RC4, RC2 and DES; options of a
// command follow its name.
const std::vector<std::string> kProviders = {"-provider", "legacy", "-provider", "default"};

std::vector<std::string> With(std::vector<std::string> arguments,
                              const std::vector<std::string>& more) {
  arguments.insert(arguments.end(), more.begin(), more.end());
  return arguments;
}

class OpensslInteropTest : public testing::MessageTest {
 protected:
  void SetUp() override {
    testing::MessageTest::SetUp();
    Write("content.bin", content_);
    WriteCertificatePem("root.pem", ca_.der);
    WriteCertificatePem("alice.pem", alice_.der);
    WriteKeyPem("alice.key", alice_.key.get());
    WriteCertificatePem("bob.pem", bob_.der);
    WriteKeyPem("bob.key", bob_.key.get());
  }

  // `openssl cms -verify` of a DER message against the test root.
  bool OpensslVerifies(const std::string& message, const std::vector<std::string>& more = {}) {
    return Openssl(With({"cms", "-verify", "-binary", "-inform", "DER", "-in", message, "-CAfile",
                         "root.pem", "-out", "verified.bin"},
                        more));
  }

  // Binary content with bytes that text handling would change.
  const Bytes content_ = [] {
    Bytes bytes = ToBytes("order 42\r\namount 1,024.00\n");
    for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<uint8_t>(i));
    return bytes;
  }();
  Bytes carried_;
  CertContextRef signer_;
  CertContextRef decryptor_;
};

TEST_F(OpensslInteropTest, OpensslVerifiesOurAttachedAndDetachedSignatures) {
  for (const std::string_view digest : {testing::kSha1Oid, testing::kSha256Oid}) {
    SCOPED_TRACE(digest);
    Bytes attached;
    ASSERT_EQ(SignMessage(*alice_.context, digest, content_, false, attached), error::kOk);
    Write("attached.p7", attached);
    ASSERT_TRUE(OpensslVerifies("attached.p7")) << lastOutput_;
    EXPECT_EQ(Read(work_ / "verified.bin"), content_);

    Bytes detached;
    ASSERT_EQ(SignMessage(*alice_.context, digest, content_, true, detached), error::kOk);
    Write("detached.p7", detached);
    ASSERT_TRUE(OpensslVerifies("detached.p7", {"-content", "content.bin"})) << lastOutput_;
    Bytes changed = content_;
    changed[10] ^= 0x01;
    Write("changed.bin", changed);
    EXPECT_FALSE(OpensslVerifies("detached.p7", {"-content", "changed.bin"}));
  }
}

TEST_F(OpensslInteropTest, WeVerifyOpensslSignaturesAndCatchOneChangedByte) {
  const std::vector<std::string> sign = {
      "cms", "-sign",   "-binary",   "-noattr", "-nosmimecap", "-md", "sha1",       "-outform",
      "DER", "-signer", "alice.pem", "-inkey",  "alice.key",   "-in", "content.bin"};
  ASSERT_TRUE(Openssl(With(sign, {"-nodetach", "-out", "attached.p7"}))) << lastOutput_;
  ASSERT_TRUE(Openssl(With(sign, {"-out", "detached.p7"}))) << lastOutput_;

  const Bytes attached = Read(work_ / "attached.p7");
  ASSERT_EQ(VerifyMessageSignature(attached, 0, carried_, signer_), error::kOk);
  EXPECT_EQ(carried_, content_);
  ASSERT_TRUE(signer_);
  EXPECT_EQ(Bytes(signer_->certificate().Der().begin(), signer_->certificate().Der().end()),
            alice_.der);

  const Bytes detached = Read(work_ / "detached.p7");
  ASSERT_EQ(VerifyDetachedMessageSignature(detached, 0, content_, signer_), error::kOk);

  Bytes changedContent = content_;
  changedContent[100] ^= 0x01;
  EXPECT_EQ(VerifyDetachedMessageSignature(detached, 0, changedContent, signer_),
            error::kBadSignature);
  Bytes changedMessage = attached;
  const auto at =
      std::search(changedMessage.begin(), changedMessage.end(), content_.begin(), content_.end());
  ASSERT_NE(at, changedMessage.end());
  at[100] ^= 0x01;
  EXPECT_EQ(VerifyMessageSignature(changedMessage, 0, carried_, signer_), error::kBadSignature);

  // The tool's default form, with signed attributes, verifies too.
  ASSERT_TRUE(
      Openssl({"cms", "-sign", "-binary", "-md", "sha256", "-outform", "DER", "-signer",
               "alice.pem", "-inkey", "alice.key", "-in", "content.bin", "-out", "attributes.p7"}))
      << lastOutput_;
  EXPECT_EQ(VerifyDetachedMessageSignature(Read(work_ / "attributes.p7"), 0, content_, signer_),
            error::kOk);
  EXPECT_EQ(
      VerifyDetachedMessageSignature(Read(work_ / "attributes.p7"), 0, changedContent, signer_),
      error::kHashValue);
}

struct CipherCase {
  std::string_view oid;
  std::string option;  // the tool's name for it
};
const CipherCase kInteropCiphers[] = {
    {testing::kRc4Oid, "-rc4"},       {testing::k3DesOid, "-des3"},
    {testing::kAes128Oid, "-aes128"}, {testing::kAes256Oid, "-aes256"},
    {"1.2.840.113549.3.2", "-rc2"},   {"1.3.14.3.2.7", "-des"}};

TEST_F(OpensslInteropTest, OpensslOpensOurEnvelopes) {
  for (const CipherCase& cipher : kInteropCiphers) {
    SCOPED_TRACE(cipher.option);
    Bytes envelope;
    ASSERT_EQ(EncryptMessage(bob_.context->certificate(), cipher.oid, content_, envelope),
              error::kOk);
    Write("envelope.p7", envelope);
    ASSERT_TRUE(Openssl(With({"cms", "-decrypt", "-binary", "-inform", "DER", "-in", "envelope.p7",
                              "-recip", "bob.pem", "-inkey", "bob.key", "-out", "opened.bin"},
                             kProviders)))
        << lastOutput_;
    EXPECT_EQ(Read(work_ / "opened.bin"), content_);
  }
}

TEST_F(OpensslInteropTest, WeOpenOpensslEnvelopes) {
  for (const CipherCase& cipher : kInteropCiphers) {
    SCOPED_TRACE(cipher.option);
    ASSERT_TRUE(Openssl(With(With({"cms", "-encrypt"}, kProviders),
                             {"-binary", cipher.option, "-outform", "DER", "-in", "content.bin",
                              "-out", "envelope.p7", "bob.pem"})))
        << lastOutput_;
    Bytes opened;
    ASSERT_EQ(DecryptMessage(*my_, Read(work_ / "envelope.p7"), opened, decryptor_), error::kOk);
    EXPECT_EQ(opened, content_);
    ASSERT_TRUE(decryptor_);
    EXPECT_EQ(decryptor_->storeEntry(), bob_.context->storeEntry());
  }
  // Recipients named by subject key identifier are found as well.
  const testing::Identity dave = Issue("Dave", {0x51}, u"dave-keys");
  WriteCertificatePem("dave.pem", dave.der);
  ASSERT_TRUE(Openssl({"cms", "-encrypt", "-binary", "-aes256", "-keyid", "-outform", "DER", "-in",
                       "content.bin", "-out", "keyid.p7", "dave.pem", "bob.pem"}))
      << lastOutput_;
  Bytes opened;
  ASSERT_EQ(DecryptMessage(*my_, Read(work_ / "keyid.p7"), opened, decryptor_), error::kOk);
  EXPECT_EQ(opened, content_);
}

TEST_F(OpensslInteropTest, OpensslOpensThenVerifiesOurSignedEnvelope) {
  Bytes envelope;
  ASSERT_EQ(SignAndEncryptMessage(*alice_.context, testing::kSha1Oid, bob_.context->certificate(),
                                  testing::k3DesOid, content_, envelope),
            error::kOk);
  Write("signed-envelope.p7", envelope);
  ASSERT_TRUE(Openssl({"cms", "-decrypt", "-binary", "-inform", "DER", "-in", "signed-envelope.p7",
                       "-recip", "bob.pem", "-inkey", "bob.key", "-out", "inner.p7"}))
      << lastOutput_;
  ASSERT_TRUE(OpensslVerifies("inner.p7")) << lastOutput_;
  EXPECT_EQ(Read(work_ / "verified.bin"), content_);
}

TEST_F(OpensslInteropTest, WeOpenAndVerifyOpensslSignedThenEncryptedMessages) {
  ASSERT_TRUE(Openssl({"cms", "-sign", "-binary", "-nodetach", "-noattr", "-md", "sha1", "-outform",
                       "DER", "-signer", "alice.pem", "-inkey", "alice.key", "-in", "content.bin",
                       "-out", "inner.p7"}))
      << lastOutput_;
  ASSERT_TRUE(Openssl({"cms", "-encrypt", "-binary", "-aes128", "-outform", "DER", "-in",
                       "inner.p7", "-out", "outer.p7", "bob.pem"}))
      << lastOutput_;
  Bytes opened;
  ASSERT_EQ(DecryptAndVerifyMessageSignature(*my_, Read(work_ / "outer.p7"), 0, opened, decryptor_,
                                             signer_),
            error::kOk);
  EXPECT_EQ(opened, content_);
  ASSERT_TRUE(signer_);
  EXPECT_EQ(Bytes(signer_->certificate().Der().begin(), signer_->certificate().Der().end()),
            alice_.der);
}

}  // namespace
}  // namespace quorvel::platform
