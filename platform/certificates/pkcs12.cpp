#include "platform/certificates/pkcs12.h"

#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>

#include <new>
#include <string>

#include "platform/certificates/certificate_openssl.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {
namespace {

struct SafeBagsDeleter {
  void operator()(STACK_OF(PKCS12_SAFEBAG) * bags) const {
    sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
  }
};
using SafeBagsPtr = std::unique_ptr<STACK_OF(PKCS12_SAFEBAG), SafeBagsDeleter>;

struct Pkcs7StackDeleter {
  void operator()(STACK_OF(PKCS7) * stack) const { sk_PKCS7_pop_free(stack, PKCS7_free); }
};
using Pkcs7StackPtr = std::unique_ptr<STACK_OF(PKCS7), Pkcs7StackDeleter>;

// Nested safe contents deeper than this are refused rather than followed.
constexpr int kMaxNesting = 8;

struct Collected {
  std::vector<EvpPkeyPtr> keys;
  std::vector<Bytes> certificates;
  uint32_t keySpec = 0;
};

// The key specification a key's usage attribute names (the attribute that
// marks a key as for signatures only or for key exchange); 0 without one.
uint32_t KeySpecOf(const PKCS8_PRIV_KEY_INFO* info) {
  const STACK_OF(X509_ATTRIBUTE)* attributes = PKCS8_pkey_get0_attrs(info);
  const int index = X509at_get_attr_by_NID(attributes, NID_key_usage, -1);
  if (index < 0) return 0;
  const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(X509at_get_attr(attributes, index), 0);
  if (value == nullptr || value->type != V_ASN1_BIT_STRING ||
      ASN1_STRING_length(value->value.bit_string) < 1) {
    return 0;
  }
  const unsigned char usage = ASN1_STRING_get0_data(value->value.bit_string)[0];
  if (usage == KEY_SIG) return kAtSignature;
  if (usage == KEY_EX) return kAtKeyExchange;
  return 0;
}

bool EncodeCertificate(X509* x509, Bytes& der) {
  return ToDer<i2d_X509>(x509, der);
}

Status CollectBags(const STACK_OF(PKCS12_SAFEBAG) * bags, const char* password, int passwordLength,
                   int depth, Collected& collected) {
  if (depth > kMaxNesting) return error::kBadData;
  for (int i = 0; i < sk_PKCS12_SAFEBAG_num(bags); ++i) {
    const PKCS12_SAFEBAG* bag = sk_PKCS12_SAFEBAG_value(bags, i);
    switch (PKCS12_SAFEBAG_get_nid(bag)) {
      case NID_keyBag:
      case NID_pkcs8ShroudedKeyBag: {
        Pkcs8InfoPtr decrypted;
        const PKCS8_PRIV_KEY_INFO* info = nullptr;
        if (PKCS12_SAFEBAG_get_nid(bag) == NID_keyBag) {
          info = PKCS12_SAFEBAG_get0_p8inf(bag);
        } else {
          decrypted.reset(PKCS12_decrypt_skey_ex(bag, password, passwordLength, CryptoLibrary(),
                                                 kCryptoProperties));
          if (!decrypted) return error::kInvalidPassword;
          info = decrypted.get();
        }
        if (info == nullptr) return error::kAsn1Corrupt;
        EvpPkeyPtr key(EVP_PKCS82PKEY_ex(info, CryptoLibrary(), kCryptoProperties));
        if (!key) return error::kBadData;
        collected.keySpec = KeySpecOf(info);
        collected.keys.push_back(std::move(key));
        break;
      }
      case NID_certBag: {
        // Only X.509 certificates; SDSI certificates are not kept.
        if (PKCS12_SAFEBAG_get_bag_nid(bag) != NID_x509Certificate) break;
        X509Ptr x509(PKCS12_SAFEBAG_get1_cert(bag));
        Bytes der;
        if (!x509 || !EncodeCertificate(x509.get(), der)) return error::kAsn1Corrupt;
        collected.certificates.push_back(std::move(der));
        break;
      }
      case NID_safeContentsBag: {
        const Status status = CollectBags(PKCS12_SAFEBAG_get0_safes(bag), password, passwordLength,
                                          depth + 1, collected);
        if (status != error::kOk) return status;
        break;
      }
      default:
        break;  // CRL and secret bags carry nothing the stores keep
    }
  }
  return error::kOk;
}

Status CollectAll(PKCS12* pkcs12, const char* password, int passwordLength, Collected& collected) {
  Pkcs7StackPtr safes(PKCS12_unpack_authsafes(pkcs12));
  if (!safes) return error::kAsn1Corrupt;
  for (int i = 0; i < sk_PKCS7_num(safes.get()); ++i) {
    PKCS7* safe = sk_PKCS7_value(safes.get(), i);
    SafeBagsPtr bags;
    switch (OBJ_obj2nid(safe->type)) {
      case NID_pkcs7_data:
        bags.reset(PKCS12_unpack_p7data(safe));
        if (!bags) return error::kAsn1Corrupt;
        break;
      case NID_pkcs7_encrypted: {
        if (safe->d.encrypted == nullptr || safe->d.encrypted->enc_data == nullptr ||
            safe->d.encrypted->enc_data->enc_data == nullptr) {
          return error::kAsn1Corrupt;
        }
        const PKCS7_ENC_CONTENT* content = safe->d.encrypted->enc_data;
        bags.reset(static_cast<STACK_OF(PKCS12_SAFEBAG)*>(PKCS12_item_decrypt_d2i_ex(
            content->algorithm, ASN1_ITEM_rptr(PKCS12_SAFEBAGS), password, passwordLength,
            content->enc_data, 1, CryptoLibrary(), kCryptoProperties)));
        if (!bags) return error::kInvalidPassword;
        break;
      }
      default:
        continue;  // enveloped safes need a private key the file does not give
    }
    const Status status = CollectBags(bags.get(), password, passwordLength, 0, collected);
    if (status != error::kOk) return status;
  }
  return error::kOk;
}

}  // namespace

Status ReadPkcs12(std::span<const uint8_t> bytes, std::string_view password,
                  Pkcs12Contents& contents) {
  if (bytes.empty() || bytes.size() > 0x7FFFFFFF) return error::kAsn1Corrupt;
  try {
    const unsigned char* cursor = bytes.data();
    Pkcs12Ptr pkcs12(d2i_PKCS12(nullptr, &cursor, static_cast<long>(bytes.size())));
    if (!pkcs12 || cursor != bytes.data() + bytes.size()) return error::kAsn1Corrupt;
    const std::string text(password);
    // An empty password may have been applied as no password at all; the
    // integrity check tells which one the file was made with.
    const char* secret = text.c_str();
    int secretLength = static_cast<int>(text.size());
    if (PKCS12_mac_present(pkcs12.get())) {
      if (PKCS12_verify_mac(pkcs12.get(), secret, secretLength) != 1) {
        if (!text.empty() || PKCS12_verify_mac(pkcs12.get(), nullptr, 0) != 1) {
          return error::kInvalidPassword;
        }
        secret = nullptr;
        secretLength = 0;
      }
    }
    Collected collected;
    if (const Status status = CollectAll(pkcs12.get(), secret, secretLength, collected);
        status != error::kOk) {
      return status;
    }
    if (collected.keys.size() > 1 || collected.certificates.empty()) return error::kBadData;
    Pkcs12Contents result;
    std::size_t chosen = 0;
    if (!collected.keys.empty()) {
      result.key = std::move(collected.keys.front());
      result.keySpec = collected.keySpec;
      bool found = false;
      for (std::size_t i = 0; i < collected.certificates.size() && !found; ++i) {
        std::shared_ptr<const Certificate> certificate;
        if (Certificate::FromDer(collected.certificates[i], certificate) == error::kOk &&
            X509_check_private_key(X509Of(*certificate), result.key.get()) == 1) {
          chosen = i;
          found = true;
        }
      }
      if (!found) return error::kBadData;
    }
    result.certificate = std::move(collected.certificates[chosen]);
    for (std::size_t i = 0; i < collected.certificates.size(); ++i) {
      if (i != chosen) result.others.push_back(std::move(collected.certificates[i]));
    }
    contents = std::move(result);
    return error::kOk;
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
}

Status WritePkcs12(EVP_PKEY* key, uint32_t keySpec, std::span<const uint8_t> certificate,
                   const std::vector<Bytes>& others, std::string_view password, Bytes& file) {
  file.clear();
  if (key == nullptr || (keySpec != kAtSignature && keySpec != kAtKeyExchange)) {
    return error::kInvalidArgument;
  }
  try {
    std::shared_ptr<const Certificate> parsed;
    if (const Status status = Certificate::FromDer(certificate, parsed); status != error::kOk)
      return status;
    if (X509_check_private_key(X509Of(*parsed), key) != 1) return error::kBadData;
    X509StackPtr chain(sk_X509_new_null());
    if (!chain) return error::kOutOfMemory;
    for (const Bytes& der : others) {
      std::shared_ptr<const Certificate> other;
      if (const Status status = Certificate::FromDer(der, other); status != error::kOk)
        return status;
      if (X509_up_ref(X509Of(*other)) != 1) return error::kOutOfMemory;
      if (sk_X509_push(chain.get(), X509Of(*other)) <= 0) {
        X509_free(X509Of(*other));
        return error::kOutOfMemory;
      }
    }
    const std::string secret(password);
    // The library's default algorithms (PBES2 with AES-256 and PBKDF2, a
    // SHA-256 integrity check); the key's usage attribute keeps its
    // specification for the next import.
    Pkcs12Ptr pkcs12(PKCS12_create_ex(secret.c_str(), nullptr, key, X509Of(*parsed), chain.get(), 0,
                                      0, PKCS12_DEFAULT_ITER, PKCS12_DEFAULT_ITER,
                                      keySpec == kAtSignature ? KEY_SIG : KEY_EX, CryptoLibrary(),
                                      kCryptoProperties));
    if (!pkcs12) return error::kBadData;
    return ToDer<i2d_PKCS12>(pkcs12.get(), file) ? error::kOk : error::kOutOfMemory;
  } catch (const std::bad_alloc&) {
    file.clear();
    return error::kOutOfMemory;
  }
}

}  // namespace quorvel::platform
