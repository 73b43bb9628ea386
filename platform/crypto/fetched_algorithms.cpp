#include "platform/crypto/fetched_algorithms.h"

#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace quorvel::platform {
namespace {

// Names come from the platform's own fixed tables, so the list stays short; past
// this many names every further one is refused, so that nothing grows without bound.
constexpr std::size_t kMaxKept = 64;

template <typename Algorithm, auto Fetch, auto Free>
class FetchedSet {
 public:
  FetchedSet() {
    // The context outlives this set: it was made before it, so it is freed after it.
    CryptoLibrary();
  }
  ~FetchedSet() {
    for (Entry& entry : entries_) {
      if (entry.algorithm != nullptr) Free(entry.algorithm);
    }
  }
  FetchedSet(const FetchedSet&) = delete;
  FetchedSet& operator=(const FetchedSet&) = delete;

  // Null when the library lacks it; a failed fetch is remembered as well.
  Algorithm* Get(std::string_view name) {
    std::lock_guard lock(mutex_);
    for (const Entry& entry : entries_) {
      if (entry.name == name) return entry.algorithm;
    }
    OSSL_LIB_CTX* library = CryptoLibrary();
    if (library == nullptr || entries_.size() >= kMaxKept) return nullptr;
    try {
      const std::string text(name);
      Algorithm* fetched = Fetch(library, text.c_str(), kCryptoProperties);
      entries_.push_back({text, fetched});
      return fetched;
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }

 private:
  struct Entry {
    std::string name;
    Algorithm* algorithm = nullptr;
  };
  std::mutex mutex_;
  std::vector<Entry> entries_;
};

using DigestSet = FetchedSet<EVP_MD, EVP_MD_fetch, EVP_MD_free>;
using CipherSet = FetchedSet<EVP_CIPHER, EVP_CIPHER_fetch, EVP_CIPHER_free>;

DigestSet& Digests() {
  static DigestSet digests;
  return digests;
}

CipherSet& Ciphers() {
  static CipherSet ciphers;
  return ciphers;
}

}  // namespace

const EVP_MD* FetchedDigest(std::string_view name) {
  return Digests().Get(name);
}

const EVP_CIPHER* FetchedCipher(std::string_view name) {
  return Ciphers().Get(name);
}

EvpMdPtr SharedDigest(std::string_view name) {
  EVP_MD* digest = Digests().Get(name);
  if (digest == nullptr || EVP_MD_up_ref(digest) != 1) return nullptr;
  return EvpMdPtr(digest);
}

EvpCipherPtr SharedCipher(std::string_view name) {
  EVP_CIPHER* cipher = Ciphers().Get(name);
  if (cipher == nullptr || EVP_CIPHER_up_ref(cipher) != 1) return nullptr;
  return EvpCipherPtr(cipher);
}

}  // namespace quorvel::platform
