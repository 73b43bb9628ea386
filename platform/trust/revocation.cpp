#include "platform/trust/revocation.h"

#include <new>
#include <vector>

#include "platform/crypto/openssl_error_mark.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {

uint32_t CheckRevocation(const Certificate& subject, const Certificate& issuer,
                         std::span<CertStore* const> stores, RevocationStatus& status) {
  OpenSslErrorMark mark;
  status = RevocationStatus::kNoCrl;
  X509* issuerCertificate = issuer.X509Handle();
  EVP_PKEY* issuerKey = X509_get0_pubkey(issuerCertificate);
  // Without a usable issuer key no CRL can be shown to be the issuer's.
  if (issuerKey == nullptr) return error::kOk;
  const ASN1_INTEGER* serial = X509_get0_serialNumber(subject.X509Handle());
  try {
    for (CertStore* store : stores) {
      if (store == nullptr) continue;
      std::vector<StoredCrl> crls;
      if (const uint32_t failed = store->Crls(crls)) return failed;
      for (const StoredCrl& stored : crls) {
        const std::shared_ptr<X509_CRL>& crl = stored.parsed;
        if (!crl) continue;
        if (X509_NAME_cmp(X509_CRL_get_issuer(crl.get()),
                          X509_get_subject_name(issuerCertificate)) != 0) {
          continue;
        }
        if (X509_CRL_verify(crl.get(), issuerKey) != 1) continue;
        status = RevocationStatus::kNotRevoked;
        X509_REVOKED* entry = nullptr;
        // 1: listed; 2: listed only as removed from a base CRL, which is no revocation.
        if (X509_CRL_get0_by_serial(crl.get(), &entry, const_cast<ASN1_INTEGER*>(serial)) == 1) {
          status = RevocationStatus::kRevoked;
          return error::kOk;
        }
      }
    }
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
  return error::kOk;
}

}  // namespace quorvel::platform
