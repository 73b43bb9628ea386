// The signer check over the demo home, with certificates made to order for the
// conditions the demo does not hold.
#include "engine/signer_chain.h"

#include <gtest/gtest.h>

#include "engine/engine_errors.h"
#include "engine/engine_test_support.h"
#include "platform/certificates/test_certificates.h"
#include "platform/trust/chain_test_support.h"

namespace quorvel::engine {
namespace {

namespace pt = platform::testing;

class SignerChainTest : public testing::EngineTest {
 protected:
  static platform::CertContextRef Context(const platform::Bytes& der) {
    platform::CertContextRef context;
    EXPECT_EQ(platform::CreateCertificateContext(der, context), platform::error::kOk);
    return context;
  }
  // A certificate for a fresh key under `issuerName`, signed by `signer`.
  static platform::CertContextRef Issued(const platform::Bytes& issuerName, EVP_PKEY* signer,
                                         std::string_view cn = "Made To Order") {
    platform::EvpPkeyPtr key = pt::MakeRsaKey();
    pt::CertificateSpec spec{
        pt::Name({pt::Attr("2.5.4.6", "CN", pt::kTagPrintable), pt::Attr("2.5.4.3", cn)}),
        issuerName,
        {0x44},
        "20240101000000Z",
        "20491231235959Z",
        {}};
    return Context(pt::MakeCertificate(spec, key.get(), signer ? signer : key.get()));
  }
};

TEST_F(SignerChainTest, DemoSignersByFlags) {
  struct Case {
    std::u16string_view subject;
    ErrorNumber all;
    ErrorNumber afterwards;
  };
  for (const Case& c :
       {Case{u"CN=Zhang San", err::kOk, err::kOk}, Case{u"CN=李四", err::kOk, err::kOk},
        Case{u"CN=Expired User", err::kCertExpired, err::kOk},
        Case{u"CN=Revoked User", err::kCertRevoked, err::kChainInvalid},
        Case{u"CN=Orphan User", err::kIssuerNotFound, err::kIssuerNotFound}}) {
    SCOPED_TRACE(platform::Utf16ToUtf8(c.subject));
    const platform::CertContextRef signer = Cert("MY", c.subject);
    ASSERT_TRUE(signer);
    EXPECT_EQ(VerifySignerChain(*signer, kChainCheckAll), c.all);
    EXPECT_EQ(VerifySignerChain(*signer, kChainCheckAfterwards), c.afterwards);
  }
  // Each check on its own: revocation alone catches the revoked signer,
  // time alone the expired one, and no flags only look for the issuer.
  EXPECT_EQ(VerifySignerChain(*Cert("MY", u"CN=Revoked User"), kChainCheckRevocation),
            err::kCertRevoked);
  EXPECT_EQ(VerifySignerChain(*Cert("MY", u"CN=Revoked User"), kChainCheckTime), err::kOk);
  EXPECT_EQ(VerifySignerChain(*Cert("MY", u"CN=Expired User"), kChainCheckTime), err::kCertExpired);
  EXPECT_EQ(VerifySignerChain(*Cert("MY", u"CN=Expired User"), 0), err::kOk);
  EXPECT_EQ(VerifySignerChain(*Cert("MY", u"CN=Orphan User"), 0), err::kIssuerNotFound);
  // The root is its own issuer, found in "ROOT".
  EXPECT_EQ(VerifySignerChain(*Cert("ROOT", u"Root CA"), kChainCheckAll), err::kOk);
}

TEST_F(SignerChainTest, AnIssuerWithoutADisplayNameFailsBeforeAnyLookup) {
  const platform::Bytes countryOnly = pt::Name({pt::Attr("2.5.4.6", "CN", pt::kTagPrintable)});
  const platform::CertContextRef certificate = Issued(countryOnly, nullptr);
  EXPECT_EQ(VerifySignerChain(*certificate, kChainCheckAll), err::kSystemError);
  EXPECT_EQ(VerifySignerChain(*certificate, 0), err::kSystemError);
}

TEST_F(SignerChainTest, TheIssuerMustMatchExactlyAndHaveSigned) {
  const platform::CertContextRef zazu = Cert("CA", u"CN=ZAZU");
  ASSERT_TRUE(zazu);
  const auto zazuName = zazu->certificate().SubjectName();
  const platform::Bytes zazuBytes(zazuName.begin(), zazuName.end());
  platform::EvpPkeyPtr stranger = pt::MakeRsaKey();

  // ZAZU's name, but not ZAZU's signature.
  EXPECT_EQ(VerifySignerChain(*Issued(zazuBytes, stranger.get()), kChainCheckAll),
            err::kCertSignatureFaulty);
  // Without the signature and policy checks nothing else notices the forgery.
  EXPECT_EQ(VerifySignerChain(*Issued(zazuBytes, stranger.get()),
                              kChainCheckTime | kChainCheckRevocation),
            err::kOk);

  // The issuer's name in other letter case: the store search finds ZAZU, the
  // exact comparison refuses it.
  const platform::Bytes lowerCase =
      pt::Name({pt::Attr("2.5.4.10", "ZuvirOrori"), pt::Attr("2.5.4.11", "config"),
                pt::Attr("2.5.4.3", "zazu")});
  EXPECT_EQ(VerifySignerChain(*Issued(lowerCase, stranger.get()), kChainCheckAll),
            err::kIssuerNotFound);
}

TEST_F(SignerChainTest, AnIssuerInCaThatNoRootVouchesForFailsThePolicyStep) {
  // A self-issued certificate kept in "CA" only: its issuer is found, its
  // signature, time and revocation pass, but no chain ends in "ROOT".
  const pt::Issuer selfIssued = pt::MakeRootCa("Lonely CA");
  pt::AddCertificateTo("CA", selfIssued.certificate);
  const platform::CertContextRef lonely = Context(selfIssued.certificate);
  EXPECT_EQ(VerifySignerChain(*lonely, kChainCheckAll), err::kChainInvalid);
  EXPECT_EQ(VerifySignerChain(*lonely, kChainCheckAll & ~kChainCheckPolicy), err::kOk);

  // A signer under it, with a CRL of the lonely CA that does not list it.
  platform::EvpPkeyPtr key = pt::MakeRsaKey();
  const platform::CertContextRef signer =
      Context(pt::MakeEndEntity("Lonely Signer", selfIssued, key.get(), {0x07}));
  const platform::CertContextRef listed =
      Context(pt::MakeEndEntity("Listed Signer", selfIssued, key.get(), {0x08}));
  const uint32_t noPolicy = kChainCheckAll & ~kChainCheckPolicy;
  // No CRL of the issuer yet: revocation passes.
  EXPECT_EQ(VerifySignerChain(*listed, noPolicy), err::kOk);
  pt::AddCrlTo("CA", pt::MakeCrl(selfIssued.key.get(), selfIssued.name, {{0x08}}));
  EXPECT_EQ(VerifySignerChain(*signer, noPolicy), err::kOk);
  EXPECT_EQ(VerifySignerChain(*listed, noPolicy), err::kCertRevoked);
}

TEST_F(SignerChainTest, OnlyACertificateAllowedToIssueMakesSignersUnderATrustedRoot) {
  const pt::Issuer root = pt::MakeRootCa("Issuing Rights Root");
  pt::AddCertificateTo("ROOT", root.certificate);
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> extensions;
    ErrorNumber expected;
  };
  const Case cases[] = {
      {"a CA", {{"basicConstraints", "critical,CA:TRUE"}, {"keyUsage", "keyCertSign"}}, err::kOk},
      {"an ordinary end entity", {}, err::kChainInvalid},
      {"cA false", {{"basicConstraints", "critical,CA:FALSE"}}, err::kChainInvalid},
      {"a CA without keyCertSign",
       {{"basicConstraints", "critical,CA:TRUE"}, {"keyUsage", "critical,digitalSignature"}},
       err::kChainInvalid},
  };
  uint8_t serial = 0x20;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    pt::Issuer minter{pt::MakeRsaKey(), pt::CommonName(std::string("Minter ") + c.what), {}};
    minter.certificate = pt::MakeCertificate(
        {minter.name, root.name, {++serial}, "20200101000000Z", "20491231235959Z", c.extensions},
        minter.key.get(), root.key.get());
    pt::AddCertificateTo("CA", minter.certificate);
    platform::EvpPkeyPtr key = pt::MakeRsaKey();
    const platform::CertContextRef signer =
        Context(pt::MakeEndEntity("Minted Signer", minter, key.get(), {++serial}));
    EXPECT_EQ(VerifySignerChain(*signer, kChainCheckAll), c.expected);
  }
}

}  // namespace
}  // namespace quorvel::engine
