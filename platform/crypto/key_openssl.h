// The OpenSSL key behind a platform Key, for the platform's own sources and
// the programs that build on OpenSSL directly.
#pragma once

#include <span>

#include "platform/crypto/key.h"
#include "platform/crypto/openssl.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {

struct Key::Native {
  EvpPkeyPtr key;
};

// The key's EVP_PKEY, or null for an empty Key.
inline EVP_PKEY* PkeyOf(const Key& key) {
  return key ? key.native()->key.get() : nullptr;
}

// A Key that owns `key` (empty for null).
Key KeyFrom(EvpPkeyPtr key);
// A Key that holds a reference of its own to `key`.
Key SharedKey(EVP_PKEY* key);

// PKCS#8 DER of a private key, and back (within the platform's library
// context): kBadData for a key that cannot be encoded, for bytes that are not
// exactly one PKCS#8 structure, or for a key that is not an RSA key.
Status EncodePrivateKey(EVP_PKEY* key, Bytes& pkcs8);
Status DecodePrivateKey(std::span<const uint8_t> pkcs8, EvpPkeyPtr& key);

}  // namespace quorvel::platform
