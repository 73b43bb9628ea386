// The OpenSSL certificate behind a platform Certificate, for the platform's
// own sources and the programs that build on OpenSSL directly.
#pragma once

#include "platform/certificates/certificate.h"
#include "platform/crypto/openssl.h"

namespace quorvel::platform {

struct Certificate::Native {
  X509Ptr x509;
};

// The parsed certificate, for OpenSSL functions that read it.
inline X509* X509Of(const Certificate& certificate) {
  return certificate.native().x509.get();
}

}  // namespace quorvel::platform
