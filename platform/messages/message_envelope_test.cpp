#include "platform/messages/message_envelope.h"

#include <gtest/gtest.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>

#include "platform/certificates/certificate_openssl.h"
#include "platform/messages/message_sign.h"
#include "platform/messages/message_signed_envelope.h"
#include "platform/messages/message_test_support.h"
#include "platform/messages/message_verify.h"

namespace quorvel::platform {
namespace {

using testing::kSha1Oid;
using testing::ToBytes;

constexpr std::string_view kCipherOids[] = {
    "1.2.840.113549.3.4",      // RC4
    "1.2.840.113549.3.2",      // RC2-CBC
    "1.3.14.3.2.7",            // DES-CBC
    "1.2.840.113549.3.7",      // 3DES-CBC
    "2.16.840.1.101.3.4.1.2",  // AES-128-CBC
    "2.16.840.1.101.3.4.1.42"  // AES-256-CBC
};

std::string Dotted(const ASN1_OBJECT* object) {
  char text[128] = {};
  OBJ_obj2txt(text, sizeof text, object, 1);
  return text;
}

class EnvelopeTest : public testing::MessageTest {
 protected:
  const Bytes content_ = ToBytes("account 6222 0000 1234, balance 8,000.00, PIN never sent");
  Bytes envelope_;
  Bytes opened_;
  CertContextRef decryptor_;
  CertContextRef signer_;
};

TEST_F(EnvelopeTest, WritesTheEnvelopedDataFormForOneRecipient) {
  ASSERT_EQ(EncryptMessage(bob_.context->certificate(), testing::k3DesOid, content_, envelope_),
            error::kOk);
  const unsigned char* cursor = envelope_.data();
  const Pkcs7Ptr p7(d2i_PKCS7(nullptr, &cursor, static_cast<long>(envelope_.size())));
  ASSERT_TRUE(p7);
  ASSERT_EQ(OBJ_obj2nid(p7->type), NID_pkcs7_enveloped);
  const PKCS7_ENVELOPE* enveloped = p7->d.enveloped;
  EXPECT_EQ(ASN1_INTEGER_get(enveloped->version), 0);
  ASSERT_EQ(sk_PKCS7_RECIP_INFO_num(enveloped->recipientinfo), 1);
  const PKCS7_RECIP_INFO* recipient = sk_PKCS7_RECIP_INFO_value(enveloped->recipientinfo, 0);
  EXPECT_EQ(ASN1_INTEGER_get(recipient->version), 0);
  X509* bob = X509Of(bob_.context->certificate());
  EXPECT_EQ(X509_NAME_cmp(recipient->issuer_and_serial->issuer, X509_get_issuer_name(bob)), 0);
  EXPECT_EQ(ASN1_INTEGER_cmp(recipient->issuer_and_serial->serial, X509_get0_serialNumber(bob)), 0);
  EXPECT_EQ(OBJ_obj2nid(recipient->key_enc_algor->algorithm), NID_rsaEncryption);
  EXPECT_EQ(recipient->enc_key->length, 128);
  EXPECT_EQ(OBJ_obj2nid(enveloped->enc_data->content_type), NID_pkcs7_data);
  EXPECT_EQ(Dotted(enveloped->enc_data->algorithm->algorithm), testing::k3DesOid);
  // 3DES-CBC pads to whole blocks of 8 bytes.
  EXPECT_EQ(enveloped->enc_data->enc_data->length, static_cast<int>(content_.size() / 8 + 1) * 8);
}

TEST_F(EnvelopeTest, OpensWhatItSealsForEveryCipher) {
  for (const std::string_view oid : kCipherOids) {
    SCOPED_TRACE(oid);
    ASSERT_EQ(EncryptMessage(bob_.context->certificate(), oid, content_, envelope_), error::kOk);
    ASSERT_EQ(DecryptMessage(*my_, envelope_, opened_, decryptor_), error::kOk);
    EXPECT_EQ(opened_, content_);
    ASSERT_TRUE(decryptor_);
    EXPECT_EQ(decryptor_->storeEntry(), bob_.context->storeEntry());
  }
  // Nothing to hide still makes an envelope.
  ASSERT_EQ(EncryptMessage(bob_.context->certificate(), testing::kAes256Oid, {}, envelope_),
            error::kOk);
  opened_ = {0x01};
  ASSERT_EQ(DecryptMessage(*my_, envelope_, opened_, decryptor_), error::kOk);
  EXPECT_TRUE(opened_.empty());
}

TEST_F(EnvelopeTest, RefusesCiphersItDoesNotOffer) {
  for (const std::string_view oid :
       {"", "2.16.840.1.101.3.4.1.6" /* AES-128-GCM */, "1.3.14.3.2.26" /* SHA-1 */, "1.2.3"}) {
    SCOPED_TRACE(oid);
    envelope_ = {0x01};
    EXPECT_EQ(EncryptMessage(bob_.context->certificate(), oid, content_, envelope_),
              error::kBadAlgId);
    EXPECT_TRUE(envelope_.empty());
  }
}

TEST_F(EnvelopeTest, NeedsACertificateOfTheRecipientWithItsKeyInTheStore) {
  // Carol is known only by her certificate; the store has no key for her.
  const testing::Identity carol = Issue("Carol", {0x33}, std::nullopt);
  ASSERT_EQ(EncryptMessage(carol.context->certificate(), testing::kRc4Oid, content_, envelope_),
            error::kOk);
  EXPECT_EQ(DecryptMessage(*my_, envelope_, opened_, decryptor_), error::kNoDecryptCertificate);
  ASSERT_EQ(my_->AddCertificate(carol.der, {}, AddDisposition::kNew, nullptr), error::kOk);
  EXPECT_EQ(DecryptMessage(*my_, envelope_, opened_, decryptor_), error::kNoDecryptCertificate);
  EXPECT_TRUE(opened_.empty());
  EXPECT_EQ(decryptor_, nullptr);

  // An empty store of another name knows nobody.
  std::unique_ptr<CertStore> addressBook;
  ASSERT_EQ(CertStore::OpenSystemStore(kStoreAddressBook, addressBook), error::kOk);
  ASSERT_EQ(EncryptMessage(bob_.context->certificate(), testing::kRc4Oid, content_, envelope_),
            error::kOk);
  EXPECT_EQ(DecryptMessage(*addressBook, envelope_, opened_, decryptor_),
            error::kNoDecryptCertificate);
}

TEST_F(EnvelopeTest, RefusesOtherMessagesAndMalformedBytes) {
  Bytes signedMessage;
  ASSERT_EQ(SignMessage(*alice_.context, kSha1Oid, content_, false, signedMessage), error::kOk);
  EXPECT_EQ(DecryptMessage(*my_, signedMessage, opened_, decryptor_),
            error::kUnexpectedMessageType);
  EXPECT_EQ(DecryptMessage(*my_, content_, opened_, decryptor_), error::kAsn1Corrupt);
  EXPECT_EQ(DecryptMessage(*my_, {}, opened_, decryptor_), error::kAsn1Corrupt);

  ASSERT_EQ(EncryptMessage(bob_.context->certificate(), testing::kAes128Oid, content_, envelope_),
            error::kOk);
  for (std::size_t length = 1; length < envelope_.size(); ++length) {
    ASSERT_EQ(DecryptMessage(*my_, std::span<const uint8_t>(envelope_.data(), length), opened_,
                             decryptor_),
              error::kAsn1Corrupt)
        << length;
  }
  // A content-encryption algorithm nobody offers: AES-128-CBC's identifier
  // 2.16.840.1.101.3.4.1.2 turned into 2.16.840.1.101.3.4.1.127.
  const Bytes aes128 = {0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x01, 0x02};
  Bytes unknownCipher = envelope_;
  const auto at =
      std::search(unknownCipher.begin(), unknownCipher.end(), aes128.begin(), aes128.end());
  ASSERT_NE(at, unknownCipher.end());
  at[10] = 0x7F;
  EXPECT_EQ(DecryptMessage(*my_, unknownCipher, opened_, decryptor_), error::kBadAlgId);

  // The encrypted content is the last element. In CBC a change to the next-to-last
  // ciphertext block reaches the same byte of the last plaintext block, so flipping
  // the top bit above the padding byte makes the padding invalid whatever the key.
  Bytes changed = envelope_;
  changed[changed.size() - 17] ^= 0x80;
  EXPECT_EQ(DecryptMessage(*my_, changed, opened_, decryptor_), error::kBadData);
  EXPECT_TRUE(opened_.empty());
}

TEST_F(EnvelopeTest, SignsThenEnvelopesAndOpensThenVerifies) {
  ASSERT_EQ(SignAndEncryptMessage(*alice_.context, kSha1Oid, bob_.context->certificate(),
                                  testing::kAes256Oid, content_, envelope_),
            error::kOk);
  // The envelope holds a signedData, labelled as such.
  const unsigned char* cursor = envelope_.data();
  const Pkcs7Ptr p7(d2i_PKCS7(nullptr, &cursor, static_cast<long>(envelope_.size())));
  ASSERT_TRUE(p7);
  ASSERT_EQ(OBJ_obj2nid(p7->type), NID_pkcs7_enveloped);
  EXPECT_EQ(OBJ_obj2nid(p7->d.enveloped->enc_data->content_type), NID_pkcs7_signed);
  Bytes inner;
  ASSERT_EQ(DecryptMessage(*my_, envelope_, inner, decryptor_), error::kOk);
  Bytes carried;
  ASSERT_EQ(VerifyMessageSignature(inner, 0, carried, signer_), error::kOk);
  EXPECT_EQ(carried, content_);

  ASSERT_EQ(DecryptAndVerifyMessageSignature(*my_, envelope_, 0, opened_, decryptor_, signer_),
            error::kOk);
  EXPECT_EQ(opened_, content_);
  ASSERT_TRUE(decryptor_);
  ASSERT_TRUE(signer_);
  EXPECT_EQ(decryptor_->storeEntry(), bob_.context->storeEntry());
  EXPECT_EQ(Bytes(signer_->certificate().Der().begin(), signer_->certificate().Der().end()),
            alice_.der);
  EXPECT_EQ(DecryptAndVerifyMessageSignature(*my_, envelope_, 1, opened_, decryptor_, signer_),
            error::kSignerNotFound);
}

TEST_F(EnvelopeTest, SignedEnvelopesReportEachStepsFailure) {
  EXPECT_EQ(SignAndEncryptMessage(*alice_.context, "1.2.3.4", bob_.context->certificate(),
                                  testing::kRc4Oid, content_, envelope_),
            error::kBadAlgId);
  EXPECT_EQ(SignAndEncryptMessage(*alice_.context, kSha1Oid, bob_.context->certificate(), "1.2.3.4",
                                  content_, envelope_),
            error::kBadAlgId);
  const testing::Identity loose = Issue("Loose", {0x44}, std::nullopt);
  EXPECT_EQ(SignAndEncryptMessage(*loose.context, kSha1Oid, bob_.context->certificate(),
                                  testing::kRc4Oid, content_, envelope_),
            error::kNoKeyProperty);
  EXPECT_TRUE(envelope_.empty());

  // A plain envelope holds no signed message.
  ASSERT_EQ(EncryptMessage(bob_.context->certificate(), testing::kRc4Oid, content_, envelope_),
            error::kOk);
  EXPECT_EQ(DecryptAndVerifyMessageSignature(*my_, envelope_, 0, opened_, decryptor_, signer_),
            error::kInvalidMessageType);
  EXPECT_TRUE(opened_.empty());
  EXPECT_EQ(decryptor_, nullptr);

  // A signed message whose content was changed before it was sealed.
  Bytes signedMessage;
  ASSERT_EQ(SignMessage(*alice_.context, kSha1Oid, content_, false, signedMessage), error::kOk);
  const auto at =
      std::search(signedMessage.begin(), signedMessage.end(), content_.begin(), content_.end());
  ASSERT_NE(at, signedMessage.end());
  *at ^= 0x01;
  ASSERT_EQ(EncryptMessage(bob_.context->certificate(), testing::kRc4Oid, signedMessage, envelope_),
            error::kOk);
  EXPECT_EQ(DecryptAndVerifyMessageSignature(*my_, envelope_, 0, opened_, decryptor_, signer_),
            error::kBadSignature);
  EXPECT_EQ(signer_, nullptr);

  // Envelopes nobody here can open.
  const testing::Identity carol = Issue("Carol", {0x45}, std::nullopt);
  ASSERT_EQ(SignAndEncryptMessage(*alice_.context, kSha1Oid, carol.context->certificate(),
                                  testing::kRc4Oid, content_, envelope_),
            error::kOk);
  EXPECT_EQ(DecryptAndVerifyMessageSignature(*my_, envelope_, 0, opened_, decryptor_, signer_),
            error::kNoDecryptCertificate);
}

}  // namespace
}  // namespace quorvel::platform
