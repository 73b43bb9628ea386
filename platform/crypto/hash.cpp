#include "platform/crypto/hash.h"

#include <new>

#include "platform/crypto/algorithm_ids.h"
#include "platform/crypto/fetched_algorithms.h"
#include "platform/crypto/hash_openssl.h"
#include "platform/crypto/openssl_error_mark.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {
namespace {

// OpenSSL's names of the hashes that can be created. MD2 has an identifier but
// no implementation in the library, so it is refused like a non-hash identifier.
const char* HashName(uint32_t algId) {
  switch (algId) {
    case kCalgMd5:
      return "MD5";
    case kCalgSha1:
      return "SHA1";
    case kCalgSha256:
      return "SHA256";
    case kCalgSha384:
      return "SHA384";
    case kCalgSha512:
      return "SHA512";
    default:
      return nullptr;
  }
}

}  // namespace

Hash::Hash(uint32_t algId, std::unique_ptr<Native> native)
    : algId_(algId), native_(std::move(native)) {}
Hash::~Hash() = default;

Status Hash::Create(uint32_t algId, std::unique_ptr<Hash>& hash) {
  hash.reset();
  if (HashName(algId) == nullptr) return error::kBadAlgId;
  OpenSslErrorMark mark;
  if (CryptoLibrary() == nullptr) return error::kBadAlgId;
  EvpMdPtr md = SharedDigest(HashName(algId));
  if (!md) return error::kBadAlgId;
  EvpMdCtxPtr context(EVP_MD_CTX_new());
  if (!context) return error::kOutOfMemory;
  if (EVP_DigestInit_ex2(context.get(), md.get(), nullptr) != 1) return error::kBadAlgId;
  try {
    hash.reset(
        new Hash(algId, std::make_unique<Native>(Native{std::move(md), std::move(context)})));
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
  return error::kOk;
}

std::size_t Hash::size() const {
  const int size = EVP_MD_get_size(native_->md.get());
  return size > 0 ? static_cast<std::size_t>(size) : 0;
}

Status Hash::HashData(std::span<const uint8_t> data) {
  if (data.empty()) return error::kOk;
  if (EVP_DigestUpdate(native_->context.get(), data.data(), data.size()) != 1)
    return error::kBadData;
  return error::kOk;
}

Status Hash::GetValue(Bytes& value) const {
  // Finishing a copy leaves this hash open for more data.
  EvpMdCtxPtr copy(EVP_MD_CTX_new());
  if (!copy) return error::kOutOfMemory;
  if (EVP_MD_CTX_copy_ex(copy.get(), native_->context.get()) != 1) return error::kOutOfMemory;
  try {
    value.assign(static_cast<std::size_t>(EVP_MAX_MD_SIZE), 0);
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(copy.get(), value.data(), &length) != 1) {
    value.clear();
    return error::kBadData;
  }
  value.resize(length);
  return error::kOk;
}

}  // namespace quorvel::platform
