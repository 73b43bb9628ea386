// The OpenSSL digest behind a platform Hash, for the platform's own sources.
#pragma once

#include "platform/crypto/hash.h"
#include "platform/crypto/openssl.h"

namespace quorvel::platform {

struct Hash::Native {
  EvpMdPtr md;
  EvpMdCtxPtr context;
};

// The digest algorithm, for key operations on the hash's value.
inline const EVP_MD* DigestOf(const Hash& hash) {
  return hash.native().md.get();
}

}  // namespace quorvel::platform
