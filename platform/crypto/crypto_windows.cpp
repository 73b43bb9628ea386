// Hashes and keys on the platform's cryptographic providers. Hashes are made
// in one verification context of the enhanced RSA and AES provider, which the
// process keeps while the module is loaded. Keys hold the provider's key
// handle.
#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <algorithm>
#include <mutex>
#include <new>

#include "platform/crypto/algorithm_ids.h"
#include "platform/crypto/hash.h"
#include "platform/crypto/key.h"
#include "platform/crypto/key_windows.h"
#include "platform/crypto/provider_windows.h"
#include "platform/errors/platform_errors_windows.h"

namespace quorvel::platform {

struct Hash::Native {
  HCRYPTHASH hash = 0;
  Native() = default;
  Native(const Native&) = delete;
  Native& operator=(const Native&) = delete;
  ~Native() {
    if (hash != 0) CryptDestroyHash(hash);
  }
};

namespace {

class HashProvider {
 public:
  HashProvider() {
    if (CryptAcquireContextW(&provider_, nullptr, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                             CRYPT_VERIFYCONTEXT | CRYPT_SILENT) == 0) {
      provider_ = 0;
    }
  }
  HashProvider(const HashProvider&) = delete;
  HashProvider& operator=(const HashProvider&) = delete;
  ~HashProvider() {
    if (provider_ != 0) CryptReleaseContext(provider_, 0);
  }
  HCRYPTPROV get() const { return provider_; }

 private:
  HCRYPTPROV provider_ = 0;
};

}  // namespace

Hash::Hash(uint32_t algId, std::unique_ptr<Native> native)
    : algId_(algId), native_(std::move(native)) {}
Hash::~Hash() = default;

Status Hash::Create(uint32_t algId, std::unique_ptr<Hash>& hash) {
  hash.reset();
  if (!IsCreatableHash(algId) || VerificationProvider() == 0) return error::kBadAlgId;
  try {
    auto native = std::make_unique<Native>();
    if (CryptCreateHash(VerificationProvider(), algId, 0, 0, &native->hash) == 0) {
      return error::kBadAlgId;
    }
    hash.reset(new Hash(algId, std::move(native)));
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
  return error::kOk;
}

std::size_t Hash::size() const {
  DWORD size = 0;
  DWORD length = sizeof size;
  if (CryptGetHashParam(native_->hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &length, 0) ==
      0) {
    return 0;
  }
  return size;
}

Status Hash::HashData(std::span<const uint8_t> data) {
  while (!data.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
    if (CryptHashData(native_->hash, data.data(), chunk, 0) == 0) return error::kBadData;
    data = data.subspan(chunk);
  }
  return error::kOk;
}

// Reading a hash's value ends it on this platform, so the value is read from a
// copy and the hash goes on.
Status Hash::GetValue(Bytes& value) const {
  HashHandle copy;
  if (CryptDuplicateHash(native_->hash, nullptr, 0, copy.out()) == 0) return LastPlatformError();
  try {
    Bytes digest(size());
    DWORD length = static_cast<DWORD>(digest.size());
    if (CryptGetHashParam(copy.get(), HP_HASHVAL, digest.data(), &length, 0) == 0) {
      return LastPlatformError();
    }
    digest.resize(length);
    value = std::move(digest);
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
  return error::kOk;
}

bool IsCreatableHash(uint32_t algId) {
  return algId == kCalgMd5 || algId == kCalgSha1 || algId == kCalgSha256 || algId == kCalgSha384 ||
         algId == kCalgSha512;
}

HCRYPTPROV VerificationProvider() {
  static const HashProvider provider;
  return provider.get();
}

Status HashIn(HCRYPTPROV provider, const Hash& hash, HashHandle& copy) {
  Bytes value;
  if (const Status read = hash.GetValue(value); read != error::kOk) return read;
  if (CryptCreateHash(provider, hash.algId(), 0, 0, copy.out()) == 0) return LastPlatformError();
  if (CryptSetHashParam(copy.get(), HP_HASHVAL, value.data(), 0) == 0) return LastPlatformError();
  return error::kOk;
}

Key::Key() noexcept = default;
Key::Key(std::unique_ptr<Native> native) noexcept : native_(std::move(native)) {}
Key::Key(Key&&) noexcept = default;
Key& Key::operator=(Key&&) noexcept = default;
Key::~Key() = default;

}  // namespace quorvel::platform
