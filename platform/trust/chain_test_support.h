// Test support for certificate checks and chains: CA certificates, CRLs signed
// to order, certificates with a spoiled signature, and placing them in the
// current user's stores.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/certificates/certificate.h"
#include "platform/certificates/test_certificates.h"
#include "platform/crypto/openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"

namespace quorvel::platform::testing {

// A key pair with the name it issues under and its certificate.
struct Issuer {
  EvpPkeyPtr key;
  Bytes name;
  Bytes certificate;
};

inline Bytes CommonName(std::string_view cn) {
  return Name({Attr("2.5.4.10", "ZuvirOrori Test"), Attr("2.5.4.3", cn)});
}

// A self-signed CA certificate for a fresh key.
inline Issuer MakeRootCa(std::string_view cn, std::string notBefore = "20200101000000Z",
                         std::string notAfter = "20491231235959Z") {
  Issuer root{MakeRsaKey(), CommonName(cn), {}};
  CertificateSpec spec{root.name,
                       {},
                       {0x01},
                       std::move(notBefore),
                       std::move(notAfter),
                       {{"basicConstraints", "critical,CA:TRUE"}}};
  root.certificate = MakeCertificate(spec, root.key.get(), root.key.get());
  return root;
}

// A CA certificate for a fresh key, issued by `issuer`.
inline Issuer MakeSubCa(std::string_view cn, const Issuer& issuer, Bytes serial = {0x02},
                        std::string notBefore = "20200101000000Z",
                        std::string notAfter = "20491231235959Z") {
  Issuer ca{MakeRsaKey(), CommonName(cn), {}};
  CertificateSpec spec{ca.name,
                       issuer.name,
                       std::move(serial),
                       std::move(notBefore),
                       std::move(notAfter),
                       {{"basicConstraints", "critical,CA:TRUE"}}};
  ca.certificate = MakeCertificate(spec, ca.key.get(), issuer.key.get());
  return ca;
}

// An end-entity certificate for `key`, issued by `issuer`.
inline Bytes MakeEndEntity(std::string_view cn, const Issuer& issuer, EVP_PKEY* key,
                           Bytes serial = {0x10, 0x01}, std::string notBefore = "20200101000000Z",
                           std::string notAfter = "20491231235959Z") {
  CertificateSpec spec{CommonName(cn),       issuer.name,         std::move(serial),
                       std::move(notBefore), std::move(notAfter), {}};
  return MakeCertificate(spec, key, issuer.key.get());
}

// A CRL under `issuerName`, signed by `signer`, listing `revokedSerials`
// (big-endian magnitudes).
inline Bytes MakeCrl(EVP_PKEY* signer, const Bytes& issuerName,
                     const std::vector<Bytes>& revokedSerials) {
  X509CrlPtr crl(X509_CRL_new_ex(CryptoLibrary(), nullptr));
  X509NamePtr issuer = ParseX509Name(issuerName);
  X509_CRL_set_version(crl.get(), 1);
  X509_CRL_set_issuer_name(crl.get(), issuer.get());
  Asn1TimePtr lastUpdate(ASN1_TIME_set(nullptr, 1700000000));
  Asn1TimePtr nextUpdate(ASN1_TIME_set(nullptr, 1900000000));
  X509_CRL_set1_lastUpdate(crl.get(), lastUpdate.get());
  X509_CRL_set1_nextUpdate(crl.get(), nextUpdate.get());
  for (const Bytes& serial : revokedSerials) {
    OpenSslPtr<X509_REVOKED, X509_REVOKED_free> entry(X509_REVOKED_new());
    BignumPtr number(BN_bin2bn(serial.data(), static_cast<int>(serial.size()), nullptr));
    Asn1IntegerPtr integer(BN_to_ASN1_INTEGER(number.get(), nullptr));
    X509_REVOKED_set_serialNumber(entry.get(), integer.get());
    X509_REVOKED_set_revocationDate(entry.get(), lastUpdate.get());
    // The CRL takes the entry over once it is added.
    if (X509_CRL_add0_revoked(crl.get(), entry.get()) == 1) {
      static_cast<void>(entry.release());
    } else {
      ADD_FAILURE() << "CRL entry not added";
    }
  }
  X509_CRL_sort(crl.get());
  EXPECT_GT(X509_CRL_sign(crl.get(), signer, EVP_sha256()), 0);
  Bytes out;
  EXPECT_TRUE(ToDer<i2d_X509_CRL>(crl.get(), out));
  return out;
}

// The certificate with one bit of its signature value flipped: it still parses,
// but no key verifies it.
inline Bytes SpoilSignature(Bytes der) {
  der.back() ^= 0x01;
  return der;
}

inline std::shared_ptr<const Certificate> ParseCertificate(const Bytes& der) {
  std::shared_ptr<const Certificate> certificate;
  EXPECT_EQ(Certificate::FromDer(der, certificate), error::kOk);
  return certificate;
}

inline std::unique_ptr<CertStore> OpenStore(std::string_view name) {
  std::unique_ptr<CertStore> store;
  EXPECT_EQ(CertStore::OpenSystemStore(name, store), error::kOk);
  return store;
}

inline void AddCertificateTo(std::string_view store, const Bytes& der) {
  EXPECT_EQ(OpenStore(store)->AddCertificate(der, {}, AddDisposition::kNew, nullptr), error::kOk);
}

inline void AddCrlTo(std::string_view store, const Bytes& der) {
  EXPECT_EQ(OpenStore(store)->AddCrl(der, AddDisposition::kNew), error::kOk);
}

}  // namespace quorvel::platform::testing
