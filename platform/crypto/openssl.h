// The platform layer's own OpenSSL library context and owning handles for the
// OpenSSL objects it uses.
//
// Every OpenSSL call of the platform layer goes through CryptoLibrary(), never
// through OpenSSL's default context, so that a host process's own use of
// OpenSSL is neither seen nor changed.
#pragma once

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/crypto/bytes.h"

namespace quorvel::platform {

// The context, created on first use with the default and legacy providers
// loaded (the legacy one carries RC2, RC4, DES and MD5). Null when it cannot be
// created; callers then fail with an error value of their own.
OSSL_LIB_CTX* CryptoLibrary();

// The property query used with CryptoLibrary(): any provider may serve.
inline constexpr const char* kCryptoProperties = nullptr;

template <auto Free>
struct OpenSslDeleter {
  template <typename T>
  void operator()(T* object) const {
    Free(object);
  }
};

template <typename T, auto Free>
using OpenSslPtr = std::unique_ptr<T, OpenSslDeleter<Free>>;

inline void FreeOpenSslMemory(void* memory) {
  OPENSSL_free(memory);
}
// Memory that OpenSSL allocated for the caller (BN_bn2dec text, say).
template <typename T>
using OpenSslMemoryPtr = OpenSslPtr<T, FreeOpenSslMemory>;

// The DER of `object` through the library's encoder `I2d` (an i2d_TYPE
// function): measured, then written straight into `der`, so that no copy of
// the library's is left to free (or, for keys, to clear). False, with `der`
// empty, when the object cannot be encoded.
template <auto I2d, typename T>
bool ToDer(const T* object, Bytes& der) {
  der.clear();
  const int length = I2d(object, nullptr);
  if (length <= 0) return false;
  der.resize(static_cast<std::size_t>(length));
  unsigned char* cursor = der.data();
  if (I2d(object, &cursor) != length) {
    der.clear();
    return false;
  }
  return true;
}

using X509Ptr = OpenSslPtr<X509, X509_free>;
using X509CrlPtr = OpenSslPtr<X509_CRL, X509_CRL_free>;
using X509NamePtr = OpenSslPtr<X509_NAME, X509_NAME_free>;
using EvpPkeyPtr = OpenSslPtr<EVP_PKEY, EVP_PKEY_free>;
using EvpPkeyCtxPtr = OpenSslPtr<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using EvpMdPtr = OpenSslPtr<EVP_MD, EVP_MD_free>;
using EvpMdCtxPtr = OpenSslPtr<EVP_MD_CTX, EVP_MD_CTX_free>;
using EvpCipherPtr = OpenSslPtr<EVP_CIPHER, EVP_CIPHER_free>;
using CmsPtr = OpenSslPtr<CMS_ContentInfo, CMS_ContentInfo_free>;
using Pkcs7Ptr = OpenSslPtr<PKCS7, PKCS7_free>;
using X509StorePtr = OpenSslPtr<X509_STORE, X509_STORE_free>;
using BioPtr = OpenSslPtr<BIO, BIO_free_all>;
using BignumPtr = OpenSslPtr<BIGNUM, BN_free>;
using Pkcs12Ptr = OpenSslPtr<PKCS12, PKCS12_free>;
using Pkcs8InfoPtr = OpenSslPtr<PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free>;
using Asn1IntegerPtr = OpenSslPtr<ASN1_INTEGER, ASN1_INTEGER_free>;
using Asn1TimePtr = OpenSslPtr<ASN1_TIME, ASN1_TIME_free>;
using Asn1OctetStringPtr = OpenSslPtr<ASN1_OCTET_STRING, ASN1_OCTET_STRING_free>;
using Asn1BitStringPtr = OpenSslPtr<ASN1_BIT_STRING, ASN1_BIT_STRING_free>;
using Asn1ObjectPtr = OpenSslPtr<ASN1_OBJECT, ASN1_OBJECT_free>;
using BasicConstraintsPtr = OpenSslPtr<BASIC_CONSTRAINTS, BASIC_CONSTRAINTS_free>;
using AuthorityKeyIdPtr = OpenSslPtr<AUTHORITY_KEYID, AUTHORITY_KEYID_free>;
using GeneralNamesPtr = OpenSslPtr<GENERAL_NAMES, GENERAL_NAMES_free>;
using CrlDistPointsPtr = OpenSslPtr<CRL_DIST_POINTS, CRL_DIST_POINTS_free>;
using ExtendedKeyUsagePtr = OpenSslPtr<EXTENDED_KEY_USAGE, EXTENDED_KEY_USAGE_free>;

// Releases a stack of X509 certificates together with the certificates.
struct X509StackDeleter {
  void operator()(STACK_OF(X509) * stack) const { sk_X509_pop_free(stack, X509_free); }
};
using X509StackPtr = std::unique_ptr<STACK_OF(X509), X509StackDeleter>;

}  // namespace quorvel::platform
