#include "platform/messages/message_verify.h"

#include <gtest/gtest.h>
#include <openssl/cms.h>

#include <algorithm>

#include "platform/certificates/certificate_openssl.h"
#include "platform/messages/message_envelope.h"
#include "platform/messages/message_sign.h"
#include "platform/messages/message_test_support.h"

namespace quorvel::platform {
namespace {

using testing::kSha1Oid;
using testing::ToBytes;

// The position of `part` in `bytes`; fails the test when absent.
std::size_t Find(const Bytes& bytes, const Bytes& part) {
  const auto found = std::search(bytes.begin(), bytes.end(), part.begin(), part.end());
  EXPECT_NE(found, bytes.end());
  return static_cast<std::size_t>(found - bytes.begin());
}

class VerifyMessageTest : public testing::MessageTest {
 protected:
  void SetUp() override {
    testing::MessageTest::SetUp();
    ASSERT_EQ(SignMessage(*alice_.context, kSha1Oid, content_, false, attached_), error::kOk);
    ASSERT_EQ(SignMessage(*alice_.context, kSha1Oid, content_, true, detached_), error::kOk);
  }

  // A message signed by `signer` with OpenSSL directly, with `flags`.
  // `extra`, when given, is included as a certificate of the message.
  Bytes SignedByLibrary(const testing::Identity& signer, unsigned flags,
                        const testing::Identity* extra = nullptr) {
    const BioPtr input(BIO_new_mem_buf(content_.data(), static_cast<int>(content_.size())));
    X509StackPtr certificates(sk_X509_new_null());
    if (extra != nullptr) {
      X509* certificate = X509Of(extra->context->certificate());
      X509_up_ref(certificate);
      sk_X509_push(certificates.get(), certificate);
    }
    CmsPtr cms(CMS_sign(X509Of(signer.context->certificate()), signer.key.get(), certificates.get(),
                        input.get(), flags | CMS_BINARY));
    EXPECT_TRUE(cms);
    Bytes out;
    EXPECT_TRUE(ToDer<i2d_CMS_ContentInfo>(cms.get(), out));
    return out;
  }

  const Bytes content_ = ToBytes("transfer 500.00 CNY to Zhang San, reference 20240601");
  Bytes attached_;
  Bytes detached_;
  Bytes carried_;
  CertContextRef signer_;
};

TEST_F(VerifyMessageTest, ReportsABadSignatureWhenContentOrSignatureChanges) {
  Bytes changedContent = content_;
  changedContent[3] ^= 0x01;
  EXPECT_EQ(VerifyDetachedMessageSignature(detached_, 0, changedContent, signer_),
            error::kBadSignature);
  EXPECT_EQ(signer_, nullptr);

  Bytes changedMessage = attached_;
  changedMessage[Find(attached_, content_) + 3] ^= 0x01;
  EXPECT_EQ(VerifyMessageSignature(changedMessage, 0, carried_, signer_), error::kBadSignature);
  EXPECT_TRUE(carried_.empty());

  // The signature is the last element of the message.
  Bytes changedSignature = attached_;
  changedSignature.back() ^= 0x80;
  EXPECT_EQ(VerifyMessageSignature(changedSignature, 0, carried_, signer_), error::kBadSignature);

  // Signed with another key under Alice's issuer and serial number, carrying
  // Alice's certificate: her key does not verify it.
  const testing::Identity forger = Issue("Forger", {0x00, 0x9A, 0x01}, std::nullopt);
  const Bytes forged = SignedByLibrary(forger, CMS_NOATTR | CMS_NOCERTS, &alice_);
  EXPECT_EQ(VerifyMessageSignature(forged, 0, carried_, signer_), error::kBadSignature);
}

TEST_F(VerifyMessageTest, ChecksTheMessageDigestAttributeOfAttributedSignatures) {
  const Bytes withAttributes = SignedByLibrary(alice_, CMS_DETACHED);
  ASSERT_EQ(VerifyDetachedMessageSignature(withAttributes, 0, content_, signer_), error::kOk);
  Bytes changedContent = content_;
  changedContent.back() ^= 0x20;
  EXPECT_EQ(VerifyDetachedMessageSignature(withAttributes, 0, changedContent, signer_),
            error::kHashValue);

  const Bytes attachedWithAttributes = SignedByLibrary(alice_, 0);
  ASSERT_EQ(VerifyMessageSignature(attachedWithAttributes, 0, carried_, signer_), error::kOk);
  EXPECT_EQ(carried_, content_);
  // The signature covers the attributes; changing its bytes breaks it.
  Bytes changedSignature = attachedWithAttributes;
  changedSignature.back() ^= 0x01;
  EXPECT_EQ(VerifyMessageSignature(changedSignature, 0, carried_, signer_), error::kBadSignature);
}

TEST_F(VerifyMessageTest, FindsSignersAndTheirCertificatesOrSaysWhichIsMissing) {
  EXPECT_EQ(VerifyMessageSignature(attached_, 1, carried_, signer_), error::kSignerNotFound);
  EXPECT_EQ(VerifyDetachedMessageSignature(detached_, 7, content_, signer_),
            error::kSignerNotFound);

  const Bytes withoutCertificates = SignedByLibrary(alice_, CMS_NOATTR | CMS_NOCERTS);
  EXPECT_EQ(VerifyMessageSignature(withoutCertificates, 0, carried_, signer_), error::kNotFound);

  // Another certificate of the same issuer cannot stand in for Alice's: its
  // serial number differs (its name and length are alike, so it fits in place).
  const testing::Identity other = Issue("Alicx", {0x00, 0x9A, 0x02}, std::nullopt);
  const Bytes signedByAlice = SignedByLibrary(alice_, CMS_NOATTR);
  Bytes swapped = signedByAlice;
  const std::size_t at = Find(signedByAlice, alice_.der);
  ASSERT_EQ(alice_.der.size(), other.der.size()) << "test certificates differ in length";
  std::copy(other.der.begin(), other.der.end(), swapped.begin() + static_cast<long>(at));
  EXPECT_EQ(VerifyMessageSignature(swapped, 0, carried_, signer_), error::kNotFound);
}

TEST_F(VerifyMessageTest, RefusesDigestAlgorithmsOutsideThePlatformsHashes) {
  // SHA-1's identifier 1.3.14.3.2.26 turned into 1.3.14.3.2.27, everywhere.
  const Bytes sha1 = {0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A};
  Bytes changed = attached_;
  std::size_t replaced = 0;
  for (auto at = changed.begin();
       (at = std::search(at, changed.end(), sha1.begin(), sha1.end())) != changed.end(); ++at) {
    at[6] = 0x1B;
    ++replaced;
  }
  ASSERT_EQ(replaced, 2u) << "digestAlgorithms and the SignerInfo";
  EXPECT_EQ(VerifyMessageSignature(changed, 0, carried_, signer_), error::kBadAlgId);
  EXPECT_TRUE(carried_.empty());
}

TEST_F(VerifyMessageTest, TellsOtherMessageTypesFromSignedOnes) {
  EXPECT_EQ(VerifyMessageSignature(detached_, 0, carried_, signer_), error::kInvalidMessageType);
  Bytes envelope;
  ASSERT_EQ(EncryptMessage(bob_.context->certificate(), testing::kAes128Oid, content_, envelope),
            error::kOk);
  EXPECT_EQ(VerifyMessageSignature(envelope, 0, carried_, signer_), error::kInvalidMessageType);
  EXPECT_EQ(VerifyDetachedMessageSignature(envelope, 0, content_, signer_),
            error::kInvalidMessageType);
}

TEST_F(VerifyMessageTest, RefusesMalformedBytesWithoutReadingPastThem) {
  EXPECT_EQ(VerifyMessageSignature({}, 0, carried_, signer_), error::kAsn1Corrupt);
  EXPECT_EQ(VerifyMessageSignature(content_, 0, carried_, signer_), error::kAsn1Corrupt);
  // Every proper prefix is cut short somewhere.
  for (std::size_t length = 1; length < attached_.size(); ++length) {
    const std::span<const uint8_t> prefix(attached_.data(), length);
    ASSERT_EQ(VerifyMessageSignature(prefix, 0, carried_, signer_), error::kAsn1Corrupt) << length;
  }
  Bytes trailing = attached_;
  trailing.push_back(0x00);
  EXPECT_EQ(VerifyMessageSignature(trailing, 0, carried_, signer_), error::kAsn1Corrupt);
  // A length that claims more than there is.
  Bytes overlong = attached_;
  overlong[1] = 0x84;
  EXPECT_EQ(VerifyMessageSignature(overlong, 0, carried_, signer_), error::kAsn1Corrupt);
  EXPECT_TRUE(carried_.empty());
  EXPECT_EQ(signer_, nullptr);
}

}  // namespace
}  // namespace quorvel::platform
