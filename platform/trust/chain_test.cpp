#include "platform/trust/chain.h"

#include <gtest/gtest.h>

#include "platform/certificates/file_time.h"
#include "platform/errors/platform_errors.h"
#include "platform/trust/chain_test_support.h"
#include "tests/temporary_home.h"

namespace quorvel::platform {
namespace {

using testing::AddCertificateTo;
using testing::AddCrlTo;
using testing::MakeCrl;
using testing::MakeEndEntity;
using testing::ParseCertificate;

// The chain flags and policy flags the signer check uses.
constexpr uint32_t kSignerChainFlags = kChainRevocationCheckEndCert;
constexpr uint32_t kSignerPolicyFlags = kPolicyIgnoreAllRevUnknown | kPolicyTrustTestRoot;

// A three-level hierarchy: root in "ROOT", intermediate in "CA", end entities
// issued by the intermediate.
class ChainTest : public TemporaryHome {
 protected:
  void SetUp() override {
    TemporaryHome::SetUp();
    root_ = testing::MakeRootCa("Chain Root");
    intermediate_ = testing::MakeSubCa("Chain Issuing CA", root_);
    endKey_ = testing::MakeRsaKey();
  }

  void InstallHierarchy() {
    AddCertificateTo("ROOT", root_.certificate);
    AddCertificateTo("CA", intermediate_.certificate);
  }

  std::shared_ptr<const Certificate> End(std::string notBefore = "20200101000000Z",
                                         std::string notAfter = "20491231235959Z") {
    return ParseCertificate(MakeEndEntity("Han Meimei", intermediate_, endKey_.get(), kEndSerial,
                                          std::move(notBefore), std::move(notAfter)));
  }

  CertificateChain Build(const std::shared_ptr<const Certificate>& certificate,
                         uint32_t flags = kSignerChainFlags) {
    CertificateChain chain;
    EXPECT_EQ(GetCertificateChain(certificate, std::nullopt, flags, chain), error::kOk);
    return chain;
  }

  Status Verdict(const std::shared_ptr<const Certificate>& certificate,
                 uint32_t policyFlags = kSignerPolicyFlags) {
    return VerifyBaseChainPolicy(Build(certificate), policyFlags).error;
  }

  const Bytes kEndSerial{0x30, 0x39};
  testing::Issuer root_;
  testing::Issuer intermediate_;
  EvpPkeyPtr endKey_;
};

TEST_F(ChainTest, BuildsFromTheEndCertificateToTheTrustedRoot) {
  InstallHierarchy();
  AddCrlTo("CA", MakeCrl(intermediate_.key.get(), intermediate_.name, {}));
  const auto end = End();
  const CertificateChain chain = Build(end);
  ASSERT_EQ(chain.elements.size(), 3u);
  EXPECT_EQ(chain.elements[0].certificate->Sha1(), end->Sha1());
  EXPECT_EQ(chain.elements[1].certificate->Sha1(),
            ParseCertificate(intermediate_.certificate)->Sha1());
  EXPECT_EQ(chain.elements[2].certificate->Sha1(), ParseCertificate(root_.certificate)->Sha1());
  EXPECT_EQ(chain.errorStatus, 0u);
  const ChainPolicyStatus status = VerifyBaseChainPolicy(chain, 0);
  EXPECT_EQ(status.error, error::kOk);
  EXPECT_EQ(status.elementIndex, -1);
}

TEST_F(ChainTest, TakesIntermediatesFromMyAndTrustsCertificatesOfRootThemselves) {
  AddCertificateTo("ROOT", root_.certificate);
  AddCertificateTo("MY", intermediate_.certificate);
  EXPECT_EQ(Build(End()).elements.size(), 3u);
  EXPECT_EQ(Verdict(End()), error::kOk);

  // A certificate held by "ROOT" is an anchor: its chain is itself.
  const auto root = ParseCertificate(root_.certificate);
  const CertificateChain chain = Build(root);
  ASSERT_EQ(chain.elements.size(), 1u);
  EXPECT_EQ(chain.errorStatus, 0u);
}

TEST_F(ChainTest, UnknownRevocationIsAnErrorOnlyWhereThePolicyDoesNotIgnoreIt) {
  InstallHierarchy();
  const CertificateChain chain = Build(End());
  ASSERT_EQ(chain.elements.size(), 3u);
  EXPECT_EQ(chain.elements[0].errorStatus, kTrustRevocationStatusUnknown);
  EXPECT_EQ(chain.elements[1].errorStatus, 0u);  // only the end certificate was checked
  EXPECT_EQ(VerifyBaseChainPolicy(chain, kSignerPolicyFlags).error, error::kOk);
  EXPECT_EQ(VerifyBaseChainPolicy(chain, kPolicyIgnoreEndRevUnknown).error, error::kOk);
  const ChainPolicyStatus status = VerifyBaseChainPolicy(chain, kPolicyIgnoreCaRevUnknown);
  EXPECT_EQ(status.error, error::kNoRevocationCheck);
  EXPECT_EQ(status.elementIndex, 0);

  // Checking the whole chain reaches the intermediate as well, never the root.
  const CertificateChain whole = Build(End(), kChainRevocationCheckChain);
  EXPECT_EQ(whole.elements[1].errorStatus, kTrustRevocationStatusUnknown);
  EXPECT_EQ(whole.elements[2].errorStatus, 0u);
  EXPECT_EQ(VerifyBaseChainPolicy(whole, kPolicyIgnoreEndRevUnknown).error,
            error::kNoRevocationCheck);
  EXPECT_EQ(VerifyBaseChainPolicy(whole, kSignerPolicyFlags).error, error::kOk);
  // Without revocation flags nothing is checked.
  EXPECT_EQ(Build(End(), 0).errorStatus, 0u);
}

TEST_F(ChainTest, ExpiredCertificateGivesCertExpired) {
  InstallHierarchy();
  const CertificateChain chain = Build(End("20200101000000Z", "20211231235959Z"));
  ASSERT_EQ(chain.elements.size(), 3u);
  EXPECT_NE(chain.elements[0].errorStatus & kTrustIsNotTimeValid, 0u);
  const ChainPolicyStatus status = VerifyBaseChainPolicy(chain, kSignerPolicyFlags);
  EXPECT_EQ(status.error, error::kCertExpired);
  EXPECT_EQ(status.elementIndex, 0);
  EXPECT_EQ(VerifyBaseChainPolicy(chain, kSignerPolicyFlags | kPolicyIgnoreNotTimeValid).error,
            error::kOk);

  // An expired root counts the same.
  TearDown();
  TemporaryHome::SetUp();
  root_ = testing::MakeRootCa("Chain Root", "20100101000000Z", "20201231235959Z");
  intermediate_ =
      testing::MakeSubCa("Chain Issuing CA", root_, {0x02}, "20100101000000Z", "20201231235959Z");
  InstallHierarchy();
  const ChainPolicyStatus expiredRoot =
      VerifyBaseChainPolicy(Build(ParseCertificate(intermediate_.certificate)), kSignerPolicyFlags);
  EXPECT_EQ(expiredRoot.error, error::kCertExpired);
}

TEST_F(ChainTest, ValidityBeyondTheIssuersGivesNestingError) {
  intermediate_ =
      testing::MakeSubCa("Chain Issuing CA", root_, {0x02}, "20200101000000Z", "20451231235959Z");
  InstallHierarchy();
  const CertificateChain chain = Build(End("20240101000000Z", "20471231235959Z"));
  ASSERT_EQ(chain.elements.size(), 3u);
  EXPECT_EQ(chain.elements[0].errorStatus & ~kTrustRevocationStatusUnknown, kTrustIsNotTimeNested);
  EXPECT_EQ(VerifyBaseChainPolicy(chain, kSignerPolicyFlags).error, error::kValidityPeriodNesting);
  EXPECT_EQ(VerifyBaseChainPolicy(chain, kSignerPolicyFlags | kPolicyIgnoreNotTimeNested).error,
            error::kOk);
}

TEST_F(ChainTest, RootOutsideRootStoreGivesUntrustedRoot) {
  AddCertificateTo("CA", root_.certificate);
  AddCertificateTo("CA", intermediate_.certificate);
  const CertificateChain full = Build(End());
  ASSERT_EQ(full.elements.size(), 3u);
  EXPECT_NE(full.elements[2].errorStatus & kTrustIsUntrustedRoot, 0u);
  const ChainPolicyStatus status = VerifyBaseChainPolicy(full, kSignerPolicyFlags);
  EXPECT_EQ(status.error, error::kUntrustedRoot);
  EXPECT_EQ(status.elementIndex, 2);
  EXPECT_EQ(VerifyBaseChainPolicy(full, kSignerPolicyFlags | kPolicyAllowUnknownCa).error,
            error::kOk);

  // A self-signed end certificate that "ROOT" does not hold is its own untrusted root.
  testing::Issuer lone = testing::MakeRootCa("Self Made");
  EXPECT_EQ(Verdict(ParseCertificate(lone.certificate)), error::kUntrustedRoot);
  // Also when its key usage does not allow certificate signing.
  const Bytes name = testing::CommonName("Self Made Signer");
  const Bytes signer = testing::MakeCertificate({name,
                                                 name,
                                                 {0x05},
                                                 "20200101000000Z",
                                                 "20491231235959Z",
                                                 {{"keyUsage", "critical,digitalSignature"}}},
                                                endKey_.get(), endKey_.get());
  const CertificateChain chain = Build(ParseCertificate(signer));
  ASSERT_EQ(chain.elements.size(), 1u);
  EXPECT_EQ(chain.elements[0].errorStatus, kTrustIsUntrustedRoot);
  EXPECT_EQ(VerifyBaseChainPolicy(chain, kSignerPolicyFlags).error, error::kUntrustedRoot);
}

TEST_F(ChainTest, MissingIssuerGivesChainingError) {
  AddCertificateTo("ROOT", root_.certificate);
  const CertificateChain chain = Build(End());
  ASSERT_EQ(chain.elements.size(), 1u);
  EXPECT_NE(chain.errorStatus & kTrustIsPartialChain, 0u);
  EXPECT_EQ(VerifyBaseChainPolicy(chain, kSignerPolicyFlags).error, error::kChaining);

  // "AddressBOOK" does not supply intermediates.
  AddCertificateTo("AddressBOOK", intermediate_.certificate);
  EXPECT_EQ(Verdict(End()), error::kChaining);
}

TEST_F(ChainTest, CertificateOnItsIssuersCrlGivesRevoked) {
  InstallHierarchy();
  AddCrlTo("CA", MakeCrl(intermediate_.key.get(), intermediate_.name, {{0x01}, kEndSerial}));
  const CertificateChain chain = Build(End());
  EXPECT_EQ(chain.elements[0].errorStatus, kTrustIsRevoked);
  const ChainPolicyStatus status = VerifyBaseChainPolicy(chain, kSignerPolicyFlags);
  EXPECT_EQ(status.error, error::kRevoked);
  EXPECT_EQ(status.elementIndex, 0);
}

TEST_F(ChainTest, CrlsOfEveryChainStoreCountButOnlyWhenTheIssuerSignedThem) {
  InstallHierarchy();
  const testing::Issuer impostor = testing::MakeRootCa("Chain Issuing CA");
  AddCrlTo("MY", MakeCrl(impostor.key.get(), intermediate_.name, {kEndSerial}));
  EXPECT_EQ(Build(End()).elements[0].errorStatus, kTrustRevocationStatusUnknown);
  AddCrlTo("ROOT", MakeCrl(intermediate_.key.get(), intermediate_.name, {kEndSerial}));
  EXPECT_EQ(Build(End()).elements[0].errorStatus, kTrustIsRevoked);
}

TEST_F(ChainTest, BrokenIssuerSignatureGivesCertSignature) {
  InstallHierarchy();
  const auto spoiled = ParseCertificate(
      testing::SpoilSignature(MakeEndEntity("Han Meimei", intermediate_, endKey_.get())));
  const CertificateChain chain = Build(spoiled);
  ASSERT_EQ(chain.elements.size(), 3u);
  EXPECT_NE(chain.elements[0].errorStatus & kTrustIsNotSignatureValid, 0u);
  const ChainPolicyStatus status = VerifyBaseChainPolicy(chain, kSignerPolicyFlags);
  EXPECT_EQ(status.error, error::kCertSignature);
  EXPECT_EQ(status.elementIndex, 0);
}

TEST_F(ChainTest, BrokenSelfSignatureOfTheRootGivesCertSignature) {
  const Bytes spoiledRoot = testing::SpoilSignature(root_.certificate);
  AddCertificateTo("CA", spoiledRoot);
  AddCertificateTo("CA", intermediate_.certificate);
  const CertificateChain chain = Build(End());
  ASSERT_EQ(chain.elements.size(), 3u);
  EXPECT_NE(chain.elements[2].errorStatus & kTrustIsNotSignatureValid, 0u);
  EXPECT_EQ(VerifyBaseChainPolicy(chain, kSignerPolicyFlags).error, error::kCertSignature);
}

TEST_F(ChainTest, PrefersTheIssuerWhoseKeyVerifies) {
  // Same name, another key, listed first: passed over for the real intermediate.
  const testing::Issuer impostor = testing::MakeSubCa("Chain Issuing CA", root_, {0x09});
  AddCertificateTo("ROOT", root_.certificate);
  AddCertificateTo("CA", impostor.certificate);
  AddCertificateTo("CA", intermediate_.certificate);
  const CertificateChain chain = Build(End());
  ASSERT_EQ(chain.elements.size(), 3u);
  EXPECT_EQ(chain.elements[1].certificate->Sha1(),
            ParseCertificate(intermediate_.certificate)->Sha1());
  EXPECT_EQ(VerifyBaseChainPolicy(chain, kSignerPolicyFlags).error, error::kOk);
}

TEST_F(ChainTest, ErrorsAreReportedInTheirOrderOfPrecedence) {
  // Signature over untrusted root, revoked, expired and nesting.
  AddCertificateTo("CA", root_.certificate);
  AddCertificateTo("CA", intermediate_.certificate);
  AddCrlTo("CA", MakeCrl(intermediate_.key.get(), intermediate_.name, {kEndSerial}));
  const auto everything = ParseCertificate(
      testing::SpoilSignature(MakeEndEntity("Han Meimei", intermediate_, endKey_.get(), kEndSerial,
                                            "20190101000000Z", "20211231235959Z")));
  EXPECT_EQ(Verdict(everything), error::kCertSignature);
  // Untrusted root over revoked and expired.
  const auto revokedExpired =
      ParseCertificate(MakeEndEntity("Han Meimei", intermediate_, endKey_.get(), kEndSerial,
                                     "20190101000000Z", "20211231235959Z"));
  EXPECT_EQ(Verdict(revokedExpired), error::kUntrustedRoot);
  // Revoked over expired over nesting, once the root is trusted.
  AddCertificateTo("ROOT", root_.certificate);
  const CertificateChain chain = Build(revokedExpired);
  EXPECT_EQ(chain.elements[0].errorStatus,
            kTrustIsRevoked | kTrustIsNotTimeValid | kTrustIsNotTimeNested);
  EXPECT_EQ(VerifyBaseChainPolicy(chain, kSignerPolicyFlags).error, error::kRevoked);
  AddCrlTo("ROOT", MakeCrl(intermediate_.key.get(), intermediate_.name, {}));
  const CertificateChain notRevoked = Build(ParseCertificate(MakeEndEntity(
      "Han Meimei", intermediate_, endKey_.get(), {0x01}, "20190101000000Z", "20211231235959Z")));
  EXPECT_EQ(notRevoked.elements[0].errorStatus, kTrustIsNotTimeValid | kTrustIsNotTimeNested);
  EXPECT_EQ(VerifyBaseChainPolicy(notRevoked, kSignerPolicyFlags).error, error::kCertExpired);
}

TEST_F(ChainTest, CrossIssuedCertificatesEndAsPartialChain) {
  // A and B issue each other; neither is a root nor held by "ROOT".
  testing::Issuer a{testing::MakeRsaKey(), testing::CommonName("Loop A"), {}};
  testing::Issuer b{testing::MakeRsaKey(), testing::CommonName("Loop B"), {}};
  a.certificate = testing::MakeCertificate(
      {a.name, b.name, {0x0A}, "20200101000000Z", "20491231235959Z", {}}, a.key.get(), b.key.get());
  b.certificate = testing::MakeCertificate(
      {b.name, a.name, {0x0B}, "20200101000000Z", "20491231235959Z", {}}, b.key.get(), a.key.get());
  AddCertificateTo("CA", a.certificate);
  AddCertificateTo("CA", b.certificate);
  const CertificateChain chain =
      Build(ParseCertificate(MakeEndEntity("In Loop", a, endKey_.get())));
  EXPECT_EQ(chain.elements.size(), 3u);
  EXPECT_NE(chain.errorStatus & kTrustIsPartialChain, 0u);
  EXPECT_EQ(VerifyBaseChainPolicy(chain, kSignerPolicyFlags).error, error::kChaining);
}

TEST_F(ChainTest, JudgesTheChainAtTheGivenTime) {
  InstallHierarchy();
  const auto end = End("20240101000000Z", "20241231235959Z");
  uint64_t inside = 0;
  ASSERT_TRUE(SystemTimeToFileTime({2024, 6, 1, 0, 0, 0, 0}, inside));
  CertificateChain chain;
  ASSERT_EQ(GetCertificateChain(end, inside, 0, chain), error::kOk);
  EXPECT_EQ(chain.errorStatus, 0u);
  ASSERT_EQ(GetCertificateChain(end, std::nullopt, 0, chain), error::kOk);
  EXPECT_EQ(chain.errorStatus, kTrustIsNotTimeValid);
  EXPECT_EQ(GetCertificateChain(nullptr, std::nullopt, 0, chain), error::kInvalidArgument);
  EXPECT_EQ(VerifyBaseChainPolicy(CertificateChain{}, 0).error, error::kChaining);
}

}  // namespace
}  // namespace quorvel::platform
