#include "platform/messages/message_support.h"

#include <openssl/objects.h>

#include <array>
#include <limits>
#include <optional>
#include <string>

#include "platform/certificates/certificate_openssl.h"
#include "platform/crypto/algorithm_ids.h"
#include "platform/crypto/fetched_algorithms.h"
#include "platform/crypto/key_openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/key_container.h"

namespace quorvel::platform::message {
namespace {

struct AlgorithmName {
  uint32_t algId;
  const char* name;  // the library's name for it
};

constexpr std::array<AlgorithmName, 5> kDigests = {{
    {kCalgMd5, "MD5"},
    {kCalgSha1, "SHA1"},
    {kCalgSha256, "SHA2-256"},
    {kCalgSha384, "SHA2-384"},
    {kCalgSha512, "SHA2-512"},
}};

constexpr std::array<AlgorithmName, 6> kCiphers = {{
    {kCalgRc4, "RC4"},
    {kCalgRc2, "RC2-CBC"},
    {kCalgDes, "DES-CBC"},
    {kCalg3Des, "DES-EDE3-CBC"},
    {kCalgAes128, "AES-128-CBC"},
    {kCalgAes256, "AES-256-CBC"},
}};

template <std::size_t N>
const char* NameOf(const std::array<AlgorithmName, N>& table, std::string_view oid) {
  const uint32_t algId = OidToAlgId(oid);
  if (algId == 0) return nullptr;
  for (const AlgorithmName& entry : table) {
    if (entry.algId == algId) return entry.name;
  }
  return nullptr;
}

}  // namespace

Status FetchDigest(std::string_view oid, EvpMdPtr& digest) {
  digest.reset();
  const char* name = NameOf(kDigests, oid);
  if (name == nullptr || CryptoLibrary() == nullptr) return error::kBadAlgId;
  digest = SharedDigest(name);
  return digest ? error::kOk : error::kBadAlgId;
}

Status FetchDigest(const ASN1_OBJECT* oid, EvpMdPtr& digest) {
  digest.reset();
  // Dotted identifiers are short; anything longer is no identifier of ours.
  std::array<char, 128> dotted{};
  const int length = OBJ_obj2txt(dotted.data(), static_cast<int>(dotted.size()), oid, 1);
  if (length <= 0 || length >= static_cast<int>(dotted.size())) return error::kBadAlgId;
  return FetchDigest(std::string_view(dotted.data(), static_cast<std::size_t>(length)), digest);
}

Status FetchCipher(std::string_view oid, EvpCipherPtr& cipher) {
  cipher.reset();
  const char* name = NameOf(kCiphers, oid);
  if (name == nullptr || CryptoLibrary() == nullptr) return error::kBadAlgId;
  cipher = SharedCipher(name);
  return cipher ? error::kOk : error::kBadAlgId;
}

Status ComputeDigest(const EVP_MD* algorithm, std::span<const uint8_t> content, Bytes& digest) {
  digest.clear();
  const EvpMdCtxPtr context(EVP_MD_CTX_new());
  if (!context) return error::kOutOfMemory;
  Bytes value(EVP_MAX_MD_SIZE);
  unsigned length = 0;
  if (EVP_DigestInit_ex2(context.get(), algorithm, nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), content.data(), content.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), value.data(), &length) != 1) {
    return error::kBadAlgId;
  }
  value.resize(length);
  digest = std::move(value);
  return error::kOk;
}

Status ParseMessage(std::span<const uint8_t> der, CmsPtr& message) {
  message.reset();
  if (der.empty()) return error::kAsn1Corrupt;
  if (der.size() > static_cast<std::size_t>(std::numeric_limits<long>::max())) {
    return error::kAsn1Corrupt;
  }
  // Decoding into an object made in our context keeps that context for every
  // later operation on the message. On failure the decoder frees the object.
  CMS_ContentInfo* decoded = CMS_ContentInfo_new_ex(CryptoLibrary(), kCryptoProperties);
  if (decoded == nullptr) return error::kOutOfMemory;
  const unsigned char* cursor = der.data();
  CmsPtr parsed(d2i_CMS_ContentInfo(&decoded, &cursor, static_cast<long>(der.size())));
  if (!parsed) return error::kAsn1Corrupt;
  // Bytes after the message mean the input is not one message.
  if (cursor != der.data() + der.size()) return error::kAsn1Corrupt;
  message = std::move(parsed);
  return error::kOk;
}

Status EncodeMessage(CMS_ContentInfo* message, Bytes& der) {
  return ToDer<i2d_CMS_ContentInfo>(message, der) ? error::kOk : error::kOutOfMemory;
}

BioPtr ReadBio(std::span<const uint8_t> bytes) {
  // BIO_new_mem_buf wants a valid pointer even for no bytes.
  static const uint8_t kNothing = 0;
  const void* data = bytes.empty() ? &kNothing : bytes.data();
  if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return nullptr;
  return BioPtr(BIO_new_mem_buf(data, static_cast<int>(bytes.size())));
}

Status PrivateKeyOf(const CertContext& certificate, EvpPkeyPtr& key) {
  key.reset();
  KeyProvInfo info;
  const Status status = certificate.GetKeyProvInfo(info);
  if (status == error::kNotFound) return error::kNoKeyProperty;
  if (status != error::kOk) return status;

  const std::optional<std::u16string_view> container =
      info.container.empty() ? std::nullopt : std::optional<std::u16string_view>(info.container);
  std::unique_ptr<KeyContainer> handle;
  if (const Status acquired =
          KeyContainer::Acquire(container, info.provider, info.providerType, 0, handle);
      acquired != error::kOk) {
    return acquired;
  }
  Key found;
  if (const Status got = handle->GetUserKey(info.keySpec, found); got != error::kOk) return got;
  // A key that does not belong to the certificate would make messages nobody
  // can verify or open.
  if (X509_check_private_key(X509Of(certificate.certificate()), PkeyOf(found)) != 1) {
    return error::kNoKey;
  }
  key = std::move(found.native()->key);
  return error::kOk;
}

bool LastErrorIs(int library, int reason) {
  const unsigned long code = ERR_peek_last_error();
  return ERR_GET_LIB(code) == library && ERR_GET_REASON(code) == reason;
}

}  // namespace quorvel::platform::message
