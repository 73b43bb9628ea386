#include "platform/crypto/openssl.h"

#include <openssl/provider.h>

#include <mutex>

namespace quorvel::platform {
namespace {

// Owns the context and the providers loaded into it for the life of the process.
class Library {
 public:
  Library() {
    context_ = OSSL_LIB_CTX_new();
    if (context_ == nullptr) return;
    default_ = OSSL_PROVIDER_load(context_, "default");
    legacy_ = OSSL_PROVIDER_load(context_, "legacy");
    // Without the default provider nothing works; the legacy one only adds the
    // old ciphers and digests, whose users fail on their own when it is absent.
    if (default_ == nullptr) {
      OSSL_LIB_CTX_free(context_);
      context_ = nullptr;
    }
  }
  ~Library() {
    if (legacy_ != nullptr) OSSL_PROVIDER_unload(legacy_);
    if (default_ != nullptr) OSSL_PROVIDER_unload(default_);
    OSSL_LIB_CTX_free(context_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  OSSL_LIB_CTX* context() const { return context_; }

 private:
  OSSL_LIB_CTX* context_ = nullptr;
  OSSL_PROVIDER* default_ = nullptr;
  OSSL_PROVIDER* legacy_ = nullptr;
};

}  // namespace

OSSL_LIB_CTX* CryptoLibrary() {
  static Library library;
  return library.context();
}

}  // namespace quorvel::platform
