#include "platform/certificates/certificate.h"

#include <gtest/gtest.h>

#include "platform/certificates/extension_format.h"
#include "platform/certificates/name_string.h"
#include "platform/certificates/test_certificates.h"
#include "platform/crypto/algorithm_ids.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {
namespace {

using testing::Attr;
using testing::Name;

class CertificateWithExtensions : public ::testing::Test {
 protected:
  void SetUp() override {
    key_ = testing::MakeRsaKey();
    testing::CertificateSpec spec;
    spec.subject = Name({Attr("2.5.4.3", "Zhang San")});
    spec.extensions = {
        {"basicConstraints", "critical,CA:TRUE,pathlen:0"},
        {"keyUsage", "critical,digitalSignature,nonRepudiation,keyEncipherment,dataEncipherment"},
        {"extendedKeyUsage", "clientAuth,emailProtection,1.2.3.4"},
        {"subjectKeyIdentifier", "hash"},
        {"subjectAltName", "email:a@b.cn,DNS:www.b.cn,URI:http://b.cn/,IP:10.0.0.1"},
        {"crlDistributionPoints", "URI:http://b.cn/ca.crl"},
        {"1.2.3.4.5", "DER:04:03:01:02:03"},
    };
    const Bytes der = testing::MakeCertificate(spec, key_.get(), key_.get());
    ASSERT_EQ(Certificate::FromDer(der, certificate_), error::kOk);
  }

  std::u16string Format(std::string_view oid) {
    const Extension* extension = FindExtension(*certificate_, oid);
    EXPECT_NE(extension, nullptr) << oid;
    if (extension == nullptr) return {};
    std::u16string text;
    EXPECT_EQ(FormatExtension(extension->oid, extension->value, text), error::kOk);
    return text;
  }

  EvpPkeyPtr key_;
  std::shared_ptr<const Certificate> certificate_;
};

TEST_F(CertificateWithExtensions, FormatsBasicConstraintsAndKeyUsage) {
  EXPECT_EQ(Format("2.5.29.19"), u"Subject Type=CA, Path Length Constraint=0");
  EXPECT_EQ(Format("2.5.29.15"),
            u"Digital Signature, Non-Repudiation, Key Encipherment, Data Encipherment (f0)");
  EXPECT_TRUE(FindExtension(*certificate_, "2.5.29.19")->critical);
}

TEST_F(CertificateWithExtensions, FormatsExtendedKeyUsageWithUnknownPurposes) {
  EXPECT_EQ(Format("2.5.29.37"),
            u"Client Authentication (1.3.6.1.5.5.7.3.2), Secure Email (1.3.6.1.5.5.7.3.4), "
            u"Unknown Key Usage (1.2.3.4)");
}

TEST_F(CertificateWithExtensions, FormatsKeyIdentifiersNamesAndDistributionPoints) {
  const std::u16string id = Format("2.5.29.14");
  ASSERT_EQ(id.size(), 20u * 3 - 1);  // twenty bytes as "xx xx ..."
  for (std::size_t i = 2; i < id.size(); i += 3) EXPECT_EQ(id[i], u' ');
  EXPECT_EQ(id.find_first_of(u"ABCDEF"), std::u16string::npos);
  EXPECT_EQ(Format("2.5.29.17"),
            u"RFC822 Name=a@b.cn, DNS Name=www.b.cn, URL=http://b.cn/, IP Address=10.0.0.1");
  EXPECT_EQ(Format("2.5.29.31"),
            u"[1]CRL Distribution Point: Distribution Point Name: Full Name: "
            u"URL=http://b.cn/ca.crl");
}

TEST_F(CertificateWithExtensions, DumpsUnknownExtensionsAsHex) {
  EXPECT_EQ(Format("1.2.3.4.5"), u"04 03 01 02 03");
  EXPECT_EQ(FindExtension(*certificate_, "2.5.29.99"), nullptr);
}

TEST(ExtensionFormat, FallsBackToHexForUndecodableKnownExtensions) {
  std::u16string text;
  const Bytes garbage = {0x30, 0x03, 0x01};
  EXPECT_EQ(FormatExtension("2.5.29.19", garbage, text), error::kOk);
  EXPECT_EQ(text, u"30 03 01");
  EXPECT_EQ(FormatExtension("2.5.29.35", Bytes{0x30, 0x03, 0x80, 0x01, 0xAB}, text), error::kOk);
  EXPECT_EQ(text, u"KeyID=ab");
  EXPECT_EQ(FormatExtension("2.5.29.19", Bytes{0x30, 0x00}, text), error::kOk);
  EXPECT_EQ(text, u"Subject Type=End Entity, Path Length Constraint=None");
}

TEST(CertificateParsing, KeepsSerialLeastSignificantFirstAndTheRawNames) {
  EvpPkeyPtr key = testing::MakeRsaKey();
  testing::CertificateSpec spec;
  spec.subject = Name({Attr("2.5.4.6", "CN", testing::kTagPrintable), Attr("2.5.4.3", "a")});
  spec.issuer = Name({Attr("2.5.4.3", "Issuer")});
  spec.serial = {0x80, 0x01, 0x02};
  const Bytes der = testing::MakeCertificate(spec, key.get(), key.get());
  std::shared_ptr<const Certificate> certificate;
  ASSERT_EQ(Certificate::FromDer(der, certificate), error::kOk);
  // A positive INTEGER with its top bit set carries a leading 0x00 octet.
  EXPECT_EQ(certificate->SerialNumber(), (Bytes{0x02, 0x01, 0x80, 0x00}));
  EXPECT_EQ(Bytes(certificate->SubjectName().begin(), certificate->SubjectName().end()),
            spec.subject);
  EXPECT_EQ(Bytes(certificate->IssuerName().begin(), certificate->IssuerName().end()), spec.issuer);
  EXPECT_TRUE(
      std::equal(der.begin(), der.end(), certificate->Der().begin(), certificate->Der().end()));
}

TEST(CertificateParsing, RefusesGarbageTruncationAndTrailingBytes) {
  EvpPkeyPtr key = testing::MakeRsaKey();
  testing::CertificateSpec spec;
  spec.subject = Name({Attr("2.5.4.3", "a")});
  Bytes der = testing::MakeCertificate(spec, key.get(), key.get());
  std::shared_ptr<const Certificate> certificate;
  EXPECT_EQ(Certificate::FromDer(Bytes{}, certificate), error::kAsn1Corrupt);
  EXPECT_EQ(Certificate::FromDer(Bytes{0x30, 0x82, 0xFF}, certificate), error::kAsn1Corrupt);
  EXPECT_EQ(Certificate::FromDer(std::span(der).first(der.size() - 1), certificate),
            error::kAsn1Corrupt);
  der.push_back(0);
  EXPECT_EQ(Certificate::FromDer(der, certificate), error::kAsn1Corrupt);
  EXPECT_EQ(certificate, nullptr);
}

// Certificates and names come from web pages and files: damaged bytes must be
// refused or rendered, never read out of bounds (run under the sanitizers too).
TEST(HostileInput, MutatedCertificatesAndNamesAreRefusedOrRendered) {
  EvpPkeyPtr key = testing::MakeRsaKey();
  testing::CertificateSpec spec;
  spec.subject = Name({Attr("2.5.4.6", "CN", testing::kTagPrintable),
                       {"2.5.4.3", testing::kTagBmp, testing::BmpBytes(u"张三")},
                       Attr("2.5.4.10", "Bank, \"Ltd\""),
                       Attr("1.2.3.4", "x")});
  spec.extensions = {{"basicConstraints", "CA:TRUE,pathlen:3"},
                     {"keyUsage", "digitalSignature,decipherOnly"},
                     {"extendedKeyUsage", "clientAuth"},
                     {"subjectAltName", "email:a@b.cn,IP:::1,RID:1.2.3.4"},
                     {"crlDistributionPoints", "URI:http://b.cn/ca.crl"}};
  const Bytes original = testing::MakeCertificate(spec, key.get(), key.get());
  uint32_t seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  int parsed = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes mutated = original;
    const int changes = 1 + static_cast<int>(next() % 4);
    for (int i = 0; i < changes; ++i) {
      mutated[next() % mutated.size()] = static_cast<uint8_t>(next());
    }
    if (round % 7 == 0) mutated.resize(next() % mutated.size());
    std::shared_ptr<const Certificate> certificate;
    const Status status = Certificate::FromDer(mutated, certificate);
    ASSERT_TRUE(status == error::kOk || status == error::kAsn1Corrupt) << std::hex << status;
    if (status != error::kOk) continue;
    ++parsed;
    std::u16string text;
    for (const auto name : {certificate->SubjectName(), certificate->IssuerName()}) {
      for (const uint32_t type : {kX500NameStr, kSimpleNameStr | kNameStrCrlfFlag}) {
        const Status rendered = NameToString(name, type, text);
        EXPECT_TRUE(rendered == error::kOk || rendered == error::kAsn1Corrupt);
      }
      const Status display = SimpleDisplayName(name, text);
      EXPECT_TRUE(display == error::kOk || display == error::kAsn1Corrupt);
    }
    for (const Extension& extension : certificate->Extensions()) {
      EXPECT_EQ(FormatExtension(extension.oid, extension.value, text), error::kOk);
      EXPECT_FALSE(text.empty() && !extension.value.empty());
    }
  }
  // Most single-byte changes land in the signature or key and still parse.
  EXPECT_GT(parsed, 100);

  // The name parser alone, on mutated names.
  const Bytes name = spec.subject;
  for (int round = 0; round < 3000; ++round) {
    Bytes mutated = name;
    mutated[next() % mutated.size()] = static_cast<uint8_t>(next());
    if (round % 5 == 0) mutated.resize(next() % mutated.size());
    std::u16string text;
    const Status status = NameToString(mutated, kX500NameStr, text);
    ASSERT_TRUE(status == error::kOk || status == error::kAsn1Corrupt);
  }
}

TEST(IntegerBlobs, CompareAsIntegers) {
  EXPECT_TRUE(CompareIntegerBlob(Bytes{0x1B, 0x0A}, Bytes{0x1B, 0x0A, 0x00}));
  EXPECT_TRUE(CompareIntegerBlob(Bytes{0x80, 0xFF}, Bytes{0x80}));   // -128 either way
  EXPECT_FALSE(CompareIntegerBlob(Bytes{0x80, 0x00}, Bytes{0x80}));  // +128 and -128
  EXPECT_FALSE(CompareIntegerBlob(Bytes{0x1B, 0x0A}, Bytes{0x0A, 0x1B}));
  EXPECT_TRUE(CompareIntegerBlob(Bytes{}, Bytes{0x00, 0x00}));
}

TEST(CertificateProperties, EnumerateInOrderAndReadInTwoCalls) {
  EvpPkeyPtr key = testing::MakeRsaKey();
  testing::CertificateSpec spec;
  spec.subject = Name({Attr("2.5.4.3", "a")});
  const Bytes der = testing::MakeCertificate(spec, key.get(), key.get());
  std::shared_ptr<const Certificate> certificate;
  ASSERT_EQ(Certificate::FromDer(der, certificate), error::kOk);
  KeyProvInfo info{u"container", std::u16string(u"Microsoft Base Cryptographic Provider v1.0"), 1,
                   0, kAtSignature};
  const CertContext context(certificate, {{kKeyProvInfoPropId, info.Encode()}, {20, {7}}}, 0);

  EXPECT_EQ(context.EnumProperties(0), kKeyProvInfoPropId);
  EXPECT_EQ(context.EnumProperties(kKeyProvInfoPropId), kSha1HashPropId);
  EXPECT_EQ(context.EnumProperties(kSha1HashPropId), 20u);
  EXPECT_EQ(context.EnumProperties(20), 0u);

  uint32_t size = 0;
  ASSERT_EQ(context.GetProperty(kKeyProvInfoPropId, nullptr, size), error::kOk);
  Bytes small(size - 1);
  uint32_t smallSize = size - 1;
  EXPECT_EQ(context.GetProperty(kKeyProvInfoPropId, small.data(), smallSize), error::kMoreData);
  EXPECT_EQ(smallSize, size);
  Bytes value(size);
  ASSERT_EQ(context.GetProperty(kKeyProvInfoPropId, value.data(), size), error::kOk);
  KeyProvInfo decoded;
  ASSERT_EQ(KeyProvInfo::Decode(value, decoded), error::kOk);
  EXPECT_EQ(decoded.container, u"container");
  EXPECT_EQ(decoded.provider, u"Microsoft Base Cryptographic Provider v1.0");
  EXPECT_EQ(decoded.keySpec, kAtSignature);
  EXPECT_EQ(context.GetProperty(99, nullptr, size), error::kNotFound);
  EXPECT_EQ(KeyProvInfo::Decode(std::span(value).first(value.size() - 1), decoded),
            error::kBadData);
}

TEST(AlgorithmIds, MapDottedOidsAndUnknownToZero) {
  EXPECT_EQ(OidToAlgId("1.3.14.3.2.26"), 0x8004u);
  EXPECT_EQ(OidToAlgId("2.16.840.1.101.3.4.2.1"), 0x800Cu);
  EXPECT_EQ(OidToAlgId("1.2.840.113549.3.4"), 0x6801u);
  EXPECT_EQ(OidToAlgId("2.16.840.1.101.3.4.1.42"), 0x6610u);
  EXPECT_EQ(OidToAlgId("1.2.3"), 0u);
  EXPECT_EQ(OidToAlgId(""), 0u);
  EXPECT_EQ(AlgIdToOid(0x8003), "1.2.840.113549.2.5");
}

TEST(CertificateSignedBy, AnswersForEachIssuerByItsKeyWhateverWasAskedBefore) {
  const EvpPkeyPtr issuerKey = testing::MakeRsaKey();
  const EvpPkeyPtr otherKey = testing::MakeRsaKey();
  testing::CertificateSpec issuerSpec;
  issuerSpec.subject = testing::Name({testing::Attr("2.5.4.3", "Issuer")});
  // Two issuers of the same name, only the first holds the key that signed.
  std::shared_ptr<const Certificate> issuer;
  std::shared_ptr<const Certificate> impostor;
  ASSERT_EQ(Certificate::FromDer(
                testing::MakeCertificate(issuerSpec, issuerKey.get(), issuerKey.get()), issuer),
            error::kOk);
  ASSERT_EQ(Certificate::FromDer(
                testing::MakeCertificate(issuerSpec, otherKey.get(), otherKey.get()), impostor),
            error::kOk);
  testing::CertificateSpec subjectSpec;
  subjectSpec.subject = testing::Name({testing::Attr("2.5.4.3", "Subject")});
  subjectSpec.issuer = issuerSpec.subject;
  std::shared_ptr<const Certificate> subject;
  ASSERT_EQ(Certificate::FromDer(
                testing::MakeCertificate(subjectSpec, otherKey.get(), issuerKey.get()), subject),
            error::kOk);
  for (int round = 0; round < 2; ++round) {
    EXPECT_FALSE(subject->SignedBy(*impostor)) << round;
    EXPECT_TRUE(subject->SignedBy(*issuer)) << round;
    EXPECT_FALSE(issuer->SignedBy(*impostor)) << round;
    EXPECT_TRUE(issuer->SignedBy(*issuer)) << round;
  }
}

}  // namespace
}  // namespace quorvel::platform
