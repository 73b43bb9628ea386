#include "platform/trust/cert_check.h"

#include <gtest/gtest.h>

#include "platform/certificates/file_time.h"
#include "platform/errors/platform_errors.h"
#include "platform/trust/chain_test_support.h"
#include "tests/temporary_home.h"

namespace quorvel::platform {
namespace {

using testing::AddCrlTo;
using testing::MakeCrl;
using testing::MakeEndEntity;
using testing::OpenStore;
using testing::ParseCertificate;

constexpr uint32_t kAllChecks =
    kCertStoreSignatureFlag | kCertStoreTimeValidityFlag | kCertStoreRevocationFlag;

class CertCheckTest : public TemporaryHome {
 protected:
  void SetUp() override {
    TemporaryHome::SetUp();
    issuer_ = testing::MakeRootCa("Check CA");
    subjectKey_ = testing::MakeRsaKey();
    subject_ = ParseCertificate(MakeEndEntity("Li Lei", issuer_, subjectKey_.get(), kSerial));
    issuerCertificate_ = ParseCertificate(issuer_.certificate);
    store_ = OpenStore("CA");
  }

  uint32_t Check(const Certificate& subject, uint32_t flags) {
    EXPECT_EQ(VerifySubjectCertificate(subject, issuerCertificate_.get(), store_.get(), flags),
              error::kOk);
    return flags;
  }

  const Bytes kSerial{0x10, 0x01};
  testing::Issuer issuer_;
  EvpPkeyPtr subjectKey_;
  std::shared_ptr<const Certificate> subject_;
  std::shared_ptr<const Certificate> issuerCertificate_;
  std::unique_ptr<CertStore> store_;
};

TEST_F(CertCheckTest, SignatureFlagClearsOnlyForTheIssuersOwnUnspoiledSignature) {
  EXPECT_EQ(Check(*subject_, kCertStoreSignatureFlag), 0u);

  const auto spoiled = ParseCertificate(
      testing::SpoilSignature(MakeEndEntity("Li Lei", issuer_, subjectKey_.get())));
  EXPECT_EQ(Check(*spoiled, kCertStoreSignatureFlag), kCertStoreSignatureFlag);

  // Same issuer name, another key.
  const testing::Issuer impostor = testing::MakeRootCa("Check CA");
  const auto forged = ParseCertificate(MakeEndEntity("Li Lei", impostor, subjectKey_.get()));
  EXPECT_EQ(Check(*forged, kCertStoreSignatureFlag), kCertStoreSignatureFlag);
}

TEST_F(CertCheckTest, TimeFlagStaysOutsideTheValidityPeriod) {
  EXPECT_EQ(Check(*subject_, kCertStoreTimeValidityFlag), 0u);
  const auto expired = ParseCertificate(MakeEndEntity("Li Lei", issuer_, subjectKey_.get(), kSerial,
                                                      "20200101000000Z", "20211231235959Z"));
  EXPECT_EQ(Check(*expired, kCertStoreTimeValidityFlag), kCertStoreTimeValidityFlag);
  const auto future = ParseCertificate(MakeEndEntity("Li Lei", issuer_, subjectKey_.get(), kSerial,
                                                     "20480101000000Z", "20491231235959Z"));
  EXPECT_EQ(Check(*future, kCertStoreTimeValidityFlag), kCertStoreTimeValidityFlag);
}

TEST_F(CertCheckTest, ValidityIncludesBothBounds) {
  const auto certificate = ParseCertificate(MakeEndEntity(
      "Li Lei", issuer_, subjectKey_.get(), kSerial, "20240301080000Z", "20250301080000Z"));
  uint64_t notBefore = 0;
  uint64_t notAfter = 0;
  ASSERT_TRUE(SystemTimeToFileTime({2024, 3, 1, 8, 0, 0, 0}, notBefore));
  ASSERT_TRUE(SystemTimeToFileTime({2025, 3, 1, 8, 0, 0, 0}, notAfter));
  EXPECT_EQ(VerifyTimeValidity(notBefore - 1, *certificate), -1);
  EXPECT_EQ(VerifyTimeValidity(notBefore, *certificate), 0);
  EXPECT_EQ(VerifyTimeValidity(notAfter, *certificate), 0);
  EXPECT_EQ(VerifyTimeValidity(notAfter + 1, *certificate), 1);
  const uint64_t now = CurrentFileTime();
  SystemTime calendar;
  ASSERT_TRUE(FileTimeToSystemTime(now, calendar));
  EXPECT_GE(calendar.year, 2024);
}

TEST_F(CertCheckTest, NoCrlOfTheIssuerSetsTheNoCrlFlag) {
  EXPECT_EQ(Check(*subject_, kCertStoreRevocationFlag),
            kCertStoreRevocationFlag | kCertStoreNoCrlFlag);

  // A CRL of another issuer, and one in a store that does not hold the issuer,
  // say nothing about this subject.
  const testing::Issuer other = testing::MakeRootCa("Other CA");
  AddCrlTo("CA", MakeCrl(other.key.get(), other.name, {kSerial}));
  AddCrlTo("ROOT", MakeCrl(issuer_.key.get(), issuer_.name, {kSerial}));
  EXPECT_EQ(Check(*subject_, kCertStoreRevocationFlag),
            kCertStoreRevocationFlag | kCertStoreNoCrlFlag);

  // A CRL under the issuer's name that its key did not sign is ignored.
  const testing::Issuer impostor = testing::MakeRootCa("Check CA");
  AddCrlTo("CA", MakeCrl(impostor.key.get(), issuer_.name, {kSerial}));
  EXPECT_EQ(Check(*subject_, kCertStoreRevocationFlag),
            kCertStoreRevocationFlag | kCertStoreNoCrlFlag);
}

TEST_F(CertCheckTest, RevocationFlagClearsOnlyWhenTheIssuersCrlOmitsTheSerial) {
  AddCrlTo("CA", MakeCrl(issuer_.key.get(), issuer_.name, {{0x10, 0x02}, {0x7F}}));
  EXPECT_EQ(Check(*subject_, kCertStoreRevocationFlag), 0u);

  AddCrlTo("CA", MakeCrl(issuer_.key.get(), issuer_.name, {{0x20}, kSerial}));
  EXPECT_EQ(Check(*subject_, kCertStoreRevocationFlag), kCertStoreRevocationFlag);
  // The checks are independent: the others still pass.
  EXPECT_EQ(Check(*subject_, kAllChecks), kCertStoreRevocationFlag);
}

TEST_F(CertCheckTest, AllChecksTogetherReportEachFailure) {
  const auto bad = ParseCertificate(testing::SpoilSignature(MakeEndEntity(
      "Li Lei", issuer_, subjectKey_.get(), kSerial, "20200101000000Z", "20201231235959Z")));
  EXPECT_EQ(Check(*bad, kAllChecks), kAllChecks | kCertStoreNoCrlFlag);
  AddCrlTo("CA", MakeCrl(issuer_.key.get(), issuer_.name, {}));
  EXPECT_EQ(Check(*subject_, kAllChecks), 0u);
  EXPECT_EQ(Check(*subject_, 0), 0u);
}

TEST_F(CertCheckTest, RefusesUnknownFlagsAndMissingIssuer) {
  uint32_t flags = kCertStoreSignatureFlag | 0x8;
  EXPECT_EQ(VerifySubjectCertificate(*subject_, issuerCertificate_.get(), store_.get(), flags),
            error::kInvalidArgument);
  flags = kCertStoreNoCrlFlag;
  EXPECT_EQ(VerifySubjectCertificate(*subject_, issuerCertificate_.get(), store_.get(), flags),
            error::kInvalidArgument);
  flags = kCertStoreSignatureFlag;
  EXPECT_EQ(VerifySubjectCertificate(*subject_, nullptr, store_.get(), flags),
            error::kInvalidArgument);
  flags = kCertStoreRevocationFlag;
  EXPECT_EQ(VerifySubjectCertificate(*subject_, issuerCertificate_.get(), nullptr, flags),
            error::kInvalidArgument);
  // Time validity needs no issuer.
  flags = kCertStoreTimeValidityFlag;
  EXPECT_EQ(VerifySubjectCertificate(*subject_, nullptr, nullptr, flags), error::kOk);
  EXPECT_EQ(flags, 0u);
}

}  // namespace
}  // namespace quorvel::platform
