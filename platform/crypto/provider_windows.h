// The provider the platform's hashes live in, and a hash carried into
// another provider: known only to the platform's own sources.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include "platform/crypto/hash.h"

namespace quorvel::platform {

// The hashes that can be created (MD5, SHA-1, SHA-256, SHA-384, SHA-512);
// MD2 is refused like a non-hash identifier.
bool IsCreatableHash(uint32_t algId);

// The verification context of the enhanced RSA and AES provider that hashes
// are made in and public keys are imported into; 0 when it cannot be had.
HCRYPTPROV VerificationProvider();

// A hash handle of the platform's, destroyed with its holder.
class HashHandle {
 public:
  HashHandle() = default;
  HashHandle(const HashHandle&) = delete;
  HashHandle& operator=(const HashHandle&) = delete;
  ~HashHandle() {
    if (hash_ != 0) CryptDestroyHash(hash_);
  }
  HCRYPTHASH* out() { return &hash_; }
  HCRYPTHASH get() const { return hash_; }

 private:
  HCRYPTHASH hash_ = 0;
};

// A new hash in `provider` of `hash`'s algorithm, holding `hash`'s current
// value, for the provider's signing and verification.
Status HashIn(HCRYPTPROV provider, const Hash& hash, HashHandle& copy);

}  // namespace quorvel::platform
