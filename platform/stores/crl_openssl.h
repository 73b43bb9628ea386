// The OpenSSL CRL behind a stored CRL, for the platform's own sources and the
// programs that build on OpenSSL directly.
#pragma once

#include <memory>

#include "platform/crypto/openssl.h"
#include "platform/stores/cert_store.h"

namespace quorvel::platform {

struct ParsedCrl {
  X509CrlPtr crl;
};

// The parsed CRL, sharing the stored CRL's ownership; null when it does not parse.
inline std::shared_ptr<X509_CRL> X509CrlOf(const StoredCrl& stored) {
  if (!stored.parsed) return nullptr;
  return std::shared_ptr<X509_CRL>(stored.parsed, stored.parsed->crl.get());
}

}  // namespace quorvel::platform
