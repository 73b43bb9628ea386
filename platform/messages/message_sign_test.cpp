#include "platform/messages/message_sign.h"

#include <gtest/gtest.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>

#include "platform/certificates/certificate_openssl.h"
#include "platform/messages/message_test_support.h"
#include "platform/messages/message_verify.h"

namespace quorvel::platform {
namespace {

using testing::kSha1Oid;
using testing::kSha256Oid;
using testing::ToBytes;

Pkcs7Ptr ParsePkcs7(const Bytes& der) {
  const unsigned char* cursor = der.data();
  Pkcs7Ptr parsed(d2i_PKCS7(nullptr, &cursor, static_cast<long>(der.size())));
  EXPECT_TRUE(parsed);
  EXPECT_EQ(cursor, der.data() + der.size());
  return parsed;
}

std::string Dotted(const ASN1_OBJECT* object) {
  char text[128] = {};
  OBJ_obj2txt(text, sizeof text, object, 1);
  return text;
}

long Integer(const ASN1_INTEGER* value) {
  return ASN1_INTEGER_get(value);
}

class SignMessageTest : public testing::MessageTest {};

TEST_F(SignMessageTest, WritesTheSignedDataFormWithTheSignerCertificateAlone) {
  const Bytes content = ToBytes("pay 100.00 to account 6222 0000 1234");
  for (const bool detached : {false, true}) {
    SCOPED_TRACE(detached ? "detached" : "attached");
    Bytes message;
    ASSERT_EQ(SignMessage(*alice_.context, kSha256Oid, content, detached, message), error::kOk);
    const Pkcs7Ptr p7 = ParsePkcs7(message);
    ASSERT_TRUE(p7);
    ASSERT_EQ(OBJ_obj2nid(p7->type), NID_pkcs7_signed);
    const PKCS7_SIGNED* sd = p7->d.sign;
    EXPECT_EQ(Integer(sd->version), 1);
    ASSERT_EQ(sk_X509_ALGOR_num(sd->md_algs), 1);
    EXPECT_EQ(Dotted(sk_X509_ALGOR_value(sd->md_algs, 0)->algorithm), kSha256Oid);
    EXPECT_EQ(OBJ_obj2nid(sd->contents->type), NID_pkcs7_data);
    if (detached) {
      EXPECT_EQ(sd->contents->d.data, nullptr);
    } else {
      ASSERT_NE(sd->contents->d.data, nullptr);
      const ASN1_OCTET_STRING* carried = sd->contents->d.data;
      EXPECT_EQ(Bytes(carried->data, carried->data + carried->length), content);
    }
    ASSERT_EQ(sk_X509_num(sd->cert), 1);
    unsigned char* certificate = nullptr;
    const int certificateLength = i2d_X509(sk_X509_value(sd->cert, 0), &certificate);
    EXPECT_EQ(Bytes(certificate, certificate + certificateLength), alice_.der);
    OPENSSL_free(certificate);
    EXPECT_EQ(sk_X509_CRL_num(sd->crl), -1) << "no CRLs field at all";

    ASSERT_EQ(sk_PKCS7_SIGNER_INFO_num(sd->signer_info), 1);
    const PKCS7_SIGNER_INFO* si = sk_PKCS7_SIGNER_INFO_value(sd->signer_info, 0);
    EXPECT_EQ(Integer(si->version), 1);
    EXPECT_EQ(X509_NAME_cmp(si->issuer_and_serial->issuer,
                            X509_get_issuer_name(X509Of(alice_.context->certificate()))),
              0);
    EXPECT_EQ(ASN1_INTEGER_cmp(si->issuer_and_serial->serial,
                               X509_get0_serialNumber(X509Of(alice_.context->certificate()))),
              0);
    EXPECT_EQ(Dotted(si->digest_alg->algorithm), kSha256Oid);
    EXPECT_EQ(si->auth_attr, nullptr);
    EXPECT_EQ(si->unauth_attr, nullptr);
    EXPECT_EQ(OBJ_obj2nid(si->digest_enc_alg->algorithm), NID_rsaEncryption);
    EXPECT_EQ(si->enc_digest->length, 128) << "a 1024-bit key signs in 128 bytes";
  }
}

TEST_F(SignMessageTest, SignsWithEveryPlatformHashAndVerifiesBothForms) {
  const Bytes content = {0x73, 0x69, 0x67, 0x0D, 0x0A, 0x00, 0xFF, 0x80, 0x41};
  const std::string_view hashes[] = {"1.2.840.113549.2.5", kSha1Oid, kSha256Oid,
                                     "2.16.840.1.101.3.4.2.2", "2.16.840.1.101.3.4.2.3"};
  for (const std::string_view oid : hashes) {
    SCOPED_TRACE(oid);
    Bytes attached;
    ASSERT_EQ(SignMessage(*alice_.context, oid, content, false, attached), error::kOk);
    Bytes carried;
    CertContextRef signer;
    ASSERT_EQ(VerifyMessageSignature(attached, 0, carried, signer), error::kOk);
    EXPECT_EQ(carried, content);
    ASSERT_TRUE(signer);
    EXPECT_EQ(Bytes(signer->certificate().Der().begin(), signer->certificate().Der().end()),
              alice_.der);

    Bytes detached;
    ASSERT_EQ(SignMessage(*alice_.context, oid, content, true, detached), error::kOk);
    // The detached form carries no content to verify on its own.
    EXPECT_EQ(VerifyMessageSignature(detached, 0, carried, signer), error::kInvalidMessageType);
    ASSERT_EQ(VerifyDetachedMessageSignature(detached, 0, content, signer), error::kOk);
    EXPECT_TRUE(signer);
  }
}

TEST_F(SignMessageTest, SignsEmptyContent) {
  Bytes message;
  ASSERT_EQ(SignMessage(*alice_.context, kSha1Oid, {}, false, message), error::kOk);
  Bytes carried = {0x01};
  CertContextRef signer;
  ASSERT_EQ(VerifyMessageSignature(message, 0, carried, signer), error::kOk);
  EXPECT_TRUE(carried.empty());
}

TEST_F(SignMessageTest, RefusesUnknownAndUnavailableHashes) {
  Bytes message = {0x01};
  for (const std::string_view oid :
       {"", "1.2.840.113549.2.2" /* MD2 */, "1.2.840.113549.1.1.5" /* sha1WithRSAEncryption */,
        "1.2.840.113549.3.4" /* RC4, not a hash */, "not an oid"}) {
    SCOPED_TRACE(oid);
    EXPECT_EQ(SignMessage(*alice_.context, oid, ToBytes("x"), false, message), error::kBadAlgId);
    EXPECT_TRUE(message.empty());
  }
}

TEST_F(SignMessageTest, NeedsTheKeyThatTheKeyProviderPropertyNames) {
  Bytes message;
  // A certificate made from bytes has no key-provider property.
  const testing::Identity loose = Issue("Loose", {0x07}, std::nullopt);
  EXPECT_EQ(SignMessage(*loose.context, kSha1Oid, ToBytes("x"), false, message),
            error::kNoKeyProperty);

  // The property names a signature key, the container holds only an exchange key.
  const testing::Identity carol = Issue("Carol", {0x08}, u"carol-keys", kAtKeyExchange);
  KeyProvInfo info;
  ASSERT_EQ(carol.context->GetKeyProvInfo(info), error::kOk);
  info.keySpec = kAtSignature;
  CertContextRef wrongSpec;
  ASSERT_EQ(my_->SetProperty(carol.context, kKeyProvInfoPropId, info.Encode(), &wrongSpec),
            error::kOk);
  EXPECT_EQ(SignMessage(*wrongSpec, kSha1Oid, ToBytes("x"), false, message), error::kNoKey);

  // The property names a container that does not exist.
  info.container = u"no-such-container";
  CertContextRef missing;
  ASSERT_EQ(my_->SetProperty(carol.context, kKeyProvInfoPropId, info.Encode(), &missing),
            error::kOk);
  EXPECT_EQ(SignMessage(*missing, kSha1Oid, ToBytes("x"), false, message), error::kBadKeyset);

  // The property names Bob's key for Carol's certificate.
  ASSERT_EQ(bob_.context->GetKeyProvInfo(info), error::kOk);
  CertContextRef foreign;
  ASSERT_EQ(my_->SetProperty(carol.context, kKeyProvInfoPropId, info.Encode(), &foreign),
            error::kOk);
  EXPECT_EQ(SignMessage(*foreign, kSha1Oid, ToBytes("x"), false, message), error::kNoKey);
  EXPECT_TRUE(message.empty());
}

}  // namespace
}  // namespace quorvel::platform
