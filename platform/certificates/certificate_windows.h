// The platform's certificate context behind a Certificate, and the
// key-provider property in the platform's form: known only to the platform's
// own sources.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include "platform/certificates/certificate.h"

namespace quorvel::platform {

struct Certificate::Native {
  PCCERT_CONTEXT context = nullptr;
  Native() = default;
  Native(const Native&) = delete;
  Native& operator=(const Native&) = delete;
  ~Native() {
    if (context != nullptr) CertFreeCertificateContext(context);
  }
};

inline constexpr DWORD kCertificateEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// The platform's key-provider property in the encoding contexts carry.
Bytes EncodedKeyProvInfo(const CRYPT_KEY_PROV_INFO& native);

// Sets `context`'s key-provider property from `info`; the platform's error
// value on failure.
Status SetKeyProvInfo(PCCERT_CONTEXT context, const KeyProvInfo& info);

}  // namespace quorvel::platform
