#include "platform/stores/rsa_signature.h"

#include <openssl/rsa.h>

#include <algorithm>
#include <limits>
#include <new>

#include "platform/certificates/certificate_openssl.h"
#include "platform/crypto/hash_openssl.h"
#include "platform/crypto/key_openssl.h"
#include "platform/crypto/openssl_error_mark.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {
namespace {

// A PKCS#1 v1.5 signing or verifying context for `key` and the hash's algorithm.
Status PrepareContext(EVP_PKEY* key, const Hash& hash, bool sign, EvpPkeyCtxPtr& context) {
  if (key == nullptr || EVP_PKEY_is_a(key, "RSA") != 1) return error::kBadData;
  context.reset(EVP_PKEY_CTX_new_from_pkey(CryptoLibrary(), key, kCryptoProperties));
  if (!context) return error::kOutOfMemory;
  const int started =
      sign ? EVP_PKEY_sign_init(context.get()) : EVP_PKEY_verify_init(context.get());
  if (started != 1 || EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) != 1 ||
      EVP_PKEY_CTX_set_signature_md(context.get(), DigestOf(hash)) != 1) {
    return error::kBadData;
  }
  return error::kOk;
}

}  // namespace

Status SignHashWithKey(const Hash& hash, const Key& privateKey, Bytes& signature) {
  OpenSslErrorMark mark;
  signature.clear();
  EvpPkeyCtxPtr context;
  if (const Status failed = PrepareContext(PkeyOf(privateKey), hash, true, context);
      failed != error::kOk)
    return failed;
  Bytes digest;
  if (const Status failed = hash.GetValue(digest); failed != error::kOk) return failed;
  std::size_t length = 0;
  if (EVP_PKEY_sign(context.get(), nullptr, &length, digest.data(), digest.size()) != 1) {
    return error::kBadData;
  }
  try {
    signature.resize(length);
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
  // Fails when the modulus is too short to hold the DigestInfo.
  if (EVP_PKEY_sign(context.get(), signature.data(), &length, digest.data(), digest.size()) != 1) {
    signature.clear();
    return error::kBadData;
  }
  signature.resize(length);
  std::reverse(signature.begin(), signature.end());
  return error::kOk;
}

Status SignHash(const Hash& hash, const KeyContainer& container, uint32_t keySpec,
                Bytes& signature) {
  signature.clear();
  Key key;
  if (const Status failed = container.GetUserKey(keySpec, key); failed != error::kOk) return failed;
  return SignHashWithKey(hash, key, signature);
}

Status ImportPublicKeyInfo(std::span<const uint8_t> subjectPublicKeyInfo, Key& key) {
  OpenSslErrorMark mark;
  key = Key();
  if (subjectPublicKeyInfo.empty() ||
      subjectPublicKeyInfo.size() > static_cast<std::size_t>(std::numeric_limits<long>::max())) {
    return error::kBadData;
  }
  const unsigned char* cursor = subjectPublicKeyInfo.data();
  EvpPkeyPtr decoded(d2i_PUBKEY_ex(nullptr, &cursor, static_cast<long>(subjectPublicKeyInfo.size()),
                                   CryptoLibrary(), kCryptoProperties));
  if (!decoded || cursor != subjectPublicKeyInfo.data() + subjectPublicKeyInfo.size()) {
    return error::kBadData;
  }
  if (EVP_PKEY_is_a(decoded.get(), "RSA") != 1) return error::kBadAlgId;
  key = KeyFrom(std::move(decoded));
  return error::kOk;
}

Status ImportPublicKeyInfo(const Certificate& certificate, Key& key) {
  OpenSslErrorMark mark;
  key = Key();
  // The certificate was parsed in the platform's context, and its key with it,
  // once for every holder of the certificate.
  EVP_PKEY* decoded = X509_get0_pubkey(X509Of(certificate));
  if (decoded == nullptr) return error::kBadData;
  if (EVP_PKEY_is_a(decoded, "RSA") != 1) return error::kBadAlgId;
  key = SharedKey(decoded);
  if (!key) return error::kOutOfMemory;
  return error::kOk;
}

Status VerifySignature(const Hash& hash, std::span<const uint8_t> signature, const Key& key) {
  OpenSslErrorMark mark;
  EVP_PKEY* publicKey = PkeyOf(key);
  EvpPkeyCtxPtr context;
  if (const Status failed = PrepareContext(publicKey, hash, false, context); failed != error::kOk)
    return failed;
  // The modulus length in bytes is the only length a signature can have.
  const int modulusBytes = EVP_PKEY_get_size(publicKey);
  if (modulusBytes <= 0 || signature.size() != static_cast<std::size_t>(modulusBytes)) {
    return error::kBadSignature;
  }
  Bytes digest;
  if (const Status failed = hash.GetValue(digest); failed != error::kOk) return failed;
  Bytes bigEndian;
  try {
    bigEndian.assign(signature.rbegin(), signature.rend());
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
  if (EVP_PKEY_verify(context.get(), bigEndian.data(), bigEndian.size(), digest.data(),
                      digest.size()) != 1) {
    return error::kBadSignature;
  }
  return error::kOk;
}

}  // namespace quorvel::platform
