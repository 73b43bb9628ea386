// Test support: DER names and certificates built to order with OpenSSL, so that
// tests control every byte the code under test reads (string types, attribute
// order, serial octets, times, extensions).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/certificates/certificate.h"
#include "platform/crypto/der_reader.h"
#include "platform/crypto/openssl.h"

namespace quorvel::platform::testing {

inline constexpr uint8_t kTagUtf8 = 0x0C;
inline constexpr uint8_t kTagPrintable = 0x13;
inline constexpr uint8_t kTagIa5 = 0x16;
inline constexpr uint8_t kTagBmp = 0x1E;

inline Bytes Tlv(uint8_t tag, const Bytes& content) {
  Bytes out{tag};
  const std::size_t size = content.size();
  if (size < 0x80) {
    out.push_back(static_cast<uint8_t>(size));
  } else if (size < 0x100) {
    out.insert(out.end(), {0x81, static_cast<uint8_t>(size)});
  } else {
    out.insert(out.end(), {0x82, static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)});
  }
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

inline Bytes Utf8Bytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

// UTF-16 text as the big-endian bytes of a BMPString.
inline Bytes BmpBytes(std::u16string_view text) {
  Bytes out;
  for (const char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c >> 8));
    out.push_back(static_cast<uint8_t>(c & 0xFF));
  }
  return out;
}

struct Attribute {
  std::string oid;
  uint8_t tag = kTagUtf8;
  Bytes value;  // content octets
};

inline Attribute Attr(std::string oid, std::string_view utf8, uint8_t tag = kTagUtf8) {
  return {std::move(oid), tag, Utf8Bytes(utf8)};
}

// A Name of one attribute per RDN, in the given order.
inline Bytes Name(const std::vector<Attribute>& attributes) {
  Bytes rdns;
  for (const Attribute& attribute : attributes) {
    std::basic_string<uint8_t> oid;
    EXPECT_TRUE(der::DottedToOid(attribute.oid, oid)) << attribute.oid;
    Bytes pair = Tlv(0x06, Bytes(oid.begin(), oid.end()));
    const Bytes value = Tlv(attribute.tag, attribute.value);
    pair.insert(pair.end(), value.begin(), value.end());
    const Bytes set = Tlv(0x31, Tlv(0x30, pair));
    rdns.insert(rdns.end(), set.begin(), set.end());
  }
  return Tlv(0x30, rdns);
}

struct CertificateSpec {
  Bytes subject;
  Bytes issuer;           // empty: the subject (self-issued)
  Bytes serial = {0x01};  // big-endian magnitude
  std::string notBefore = "20200101000000Z";
  std::string notAfter = "20491231235959Z";
  // Extensions in OpenSSL's configuration form, e.g. {"keyUsage", "critical,digitalSignature"}.
  std::vector<std::pair<std::string, std::string>> extensions;
};

inline EvpPkeyPtr MakeRsaKey(unsigned bits = 1024) {
  EvpPkeyCtxPtr context(EVP_PKEY_CTX_new_from_name(CryptoLibrary(), "RSA", nullptr));
  EVP_PKEY* key = nullptr;
  if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), static_cast<int>(bits)) != 1 ||
      EVP_PKEY_generate(context.get(), &key) != 1) {
    ADD_FAILURE() << "RSA key generation failed";
  }
  return EvpPkeyPtr(key);
}

inline X509NamePtr ParseX509Name(const Bytes& der) {
  const unsigned char* cursor = der.data();
  X509NamePtr name(d2i_X509_NAME(nullptr, &cursor, static_cast<long>(der.size())));
  EXPECT_TRUE(name) << "name does not parse";
  return name;
}

// A certificate for `key`'s public key, signed by `signer` (SHA-256).
inline Bytes MakeCertificate(const CertificateSpec& spec, EVP_PKEY* key, EVP_PKEY* signer) {
  X509Ptr x509(X509_new_ex(CryptoLibrary(), nullptr));
  X509_set_version(x509.get(), X509_VERSION_3);
  BignumPtr serial(BN_bin2bn(spec.serial.data(), static_cast<int>(spec.serial.size()), nullptr));
  Asn1IntegerPtr integer(BN_to_ASN1_INTEGER(serial.get(), nullptr));
  X509_set_serialNumber(x509.get(), integer.get());
  X509_set_subject_name(x509.get(), ParseX509Name(spec.subject).get());
  X509_set_issuer_name(x509.get(),
                       ParseX509Name(spec.issuer.empty() ? spec.subject : spec.issuer).get());
  Asn1TimePtr notBefore(ASN1_TIME_new());
  Asn1TimePtr notAfter(ASN1_TIME_new());
  EXPECT_EQ(ASN1_TIME_set_string_X509(notBefore.get(), spec.notBefore.c_str()), 1);
  EXPECT_EQ(ASN1_TIME_set_string_X509(notAfter.get(), spec.notAfter.c_str()), 1);
  X509_set1_notBefore(x509.get(), notBefore.get());
  X509_set1_notAfter(x509.get(), notAfter.get());
  X509_set_pubkey(x509.get(), key);
  X509V3_CTX context;
  X509V3_set_ctx(&context, x509.get(), x509.get(), nullptr, nullptr, 0);
  for (const auto& [name, value] : spec.extensions) {
    OpenSslPtr<X509_EXTENSION, X509_EXTENSION_free> extension(
        X509V3_EXT_conf(nullptr, &context, name.c_str(), value.c_str()));
    EXPECT_TRUE(extension) << name << " = " << value;
    if (extension) X509_add_ext(x509.get(), extension.get(), -1);
  }
  EXPECT_GT(X509_sign(x509.get(), signer, EVP_sha256()), 0);
  Bytes out;
  EXPECT_TRUE(ToDer<i2d_X509>(x509.get(), out));
  return out;
}

}  // namespace quorvel::platform::testing
