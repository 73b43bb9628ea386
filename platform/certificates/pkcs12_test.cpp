#include "platform/certificates/pkcs12.h"

#include <gtest/gtest.h>

#include "platform/certificates/test_certificates.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {
namespace {

using testing::Attr;
using testing::Name;

class Pkcs12Test : public ::testing::Test {
 protected:
  void SetUp() override {
    key_ = testing::MakeRsaKey();
    testing::CertificateSpec spec;
    spec.subject = Name({Attr("2.5.4.3", "Holder")});
    holder_ = testing::MakeCertificate(spec, key_.get(), key_.get());
    spec.subject = Name({Attr("2.5.4.3", "Chain")});
    spec.serial = {0x02};
    chain_ = testing::MakeCertificate(spec, key_.get(), key_.get());
  }

  static X509Ptr Parse(const Bytes& der) {
    const unsigned char* cursor = der.data();
    return X509Ptr(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
  }

  // A PKCS#12 file made with OpenSSL's defaults in the platform's context.
  Bytes Make(const char* password, bool withKey) {
    X509Ptr holder = Parse(holder_);
    X509StackPtr others(sk_X509_new_null());
    sk_X509_push(others.get(), Parse(chain_).release());
    Pkcs12Ptr pkcs12(PKCS12_create_ex(password, "holder", withKey ? key_.get() : nullptr,
                                      withKey ? holder.get() : nullptr, others.get(), 0, 0, 0, 0, 0,
                                      CryptoLibrary(), nullptr));
    EXPECT_TRUE(pkcs12);
    Bytes bytes;
    EXPECT_TRUE(ToDer<i2d_PKCS12>(pkcs12.get(), bytes));
    return bytes;
  }

  EvpPkeyPtr key_;
  Bytes holder_;
  Bytes chain_;
};

TEST_F(Pkcs12Test, GivesTheKeyItsCertificateAndTheOthers) {
  Pkcs12Contents contents;
  ASSERT_EQ(ReadPkcs12(Make("pw", true), "pw", contents), error::kOk);
  ASSERT_TRUE(contents.key);
  EXPECT_EQ(EVP_PKEY_eq(contents.key.get(), key_.get()), 1);
  EXPECT_EQ(contents.certificate, holder_);
  EXPECT_EQ(contents.others, std::vector<Bytes>{chain_});
}

TEST_F(Pkcs12Test, CertificatesAloneNeedNoKey) {
  Pkcs12Contents contents;
  ASSERT_EQ(ReadPkcs12(Make("", false), "", contents), error::kOk);
  EXPECT_FALSE(contents.key);
  EXPECT_EQ(contents.certificate, chain_);
  EXPECT_TRUE(contents.others.empty());
}

TEST_F(Pkcs12Test, RefusesWrongPasswordsAndOtherBytes) {
  Pkcs12Contents contents;
  const Bytes file = Make("right", true);
  EXPECT_EQ(ReadPkcs12(file, "wrong", contents), error::kInvalidPassword);
  EXPECT_EQ(ReadPkcs12(file, "", contents), error::kInvalidPassword);
  EXPECT_EQ(ReadPkcs12(holder_, "right", contents), error::kAsn1Corrupt);
  EXPECT_EQ(ReadPkcs12(std::span(file).first(file.size() / 2), "right", contents),
            error::kAsn1Corrupt);
  EXPECT_EQ(ReadPkcs12(Bytes{}, "", contents), error::kAsn1Corrupt);
  EXPECT_FALSE(contents.key);
}

}  // namespace
}  // namespace quorvel::platform
