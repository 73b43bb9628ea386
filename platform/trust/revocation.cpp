#include "platform/trust/revocation.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "platform/certificates/certificate_openssl.h"
#include "platform/crypto/openssl_error_mark.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/crl_openssl.h"

namespace quorvel::platform {
namespace {

// Whether an issuer's key verifies a CRL depends on nothing but the two, so
// the last verdicts are remembered: the CRL held (so that its address names it
// alone) and the issuer by its whole DER. Bounded, and safe across threads.
class CrlVerdicts {
 public:
  bool VerifiedBy(const std::shared_ptr<X509_CRL>& crl, const Certificate& issuer) {
    const std::span<const uint8_t> issuerDer = issuer.Der();
    {
      std::lock_guard lock(mutex_);
      for (const Verdict& verdict : verdicts_) {
        if (verdict.crl == crl && std::equal(verdict.issuerDer.begin(), verdict.issuerDer.end(),
                                             issuerDer.begin(), issuerDer.end())) {
          return verdict.verified;
        }
      }
    }
    EVP_PKEY* key = X509_get0_pubkey(X509Of(issuer));
    const bool verified = key != nullptr && X509_CRL_verify(crl.get(), key) == 1;
    std::lock_guard lock(mutex_);
    try {
      if (verdicts_.size() >= kMaxVerdicts) verdicts_.erase(verdicts_.begin());
      verdicts_.push_back({crl, Bytes(issuerDer.begin(), issuerDer.end()), verified});
    } catch (const std::bad_alloc&) {
      // Not remembering costs a later verification, nothing else.
    }
    return verified;
  }

 private:
  static constexpr std::size_t kMaxVerdicts = 8;
  struct Verdict {
    std::shared_ptr<X509_CRL> crl;
    Bytes issuerDer;
    bool verified = false;
  };
  std::mutex mutex_;
  std::vector<Verdict> verdicts_;
};

bool CrlVerifiedBy(const std::shared_ptr<X509_CRL>& crl, const Certificate& issuer) {
  static CrlVerdicts verdicts;
  return verdicts.VerifiedBy(crl, issuer);
}

}  // namespace

Status CheckRevocation(const Certificate& subject, const Certificate& issuer,
                       std::span<CertStore* const> stores, RevocationStatus& status) {
  OpenSslErrorMark mark;
  status = RevocationStatus::kNoCrl;
  X509* issuerCertificate = X509Of(issuer);
  EVP_PKEY* issuerKey = X509_get0_pubkey(issuerCertificate);
  // Without a usable issuer key no CRL can be shown to be the issuer's.
  if (issuerKey == nullptr) return error::kOk;
  const ASN1_INTEGER* serial = X509_get0_serialNumber(X509Of(subject));
  try {
    for (CertStore* store : stores) {
      if (store == nullptr) continue;
      std::vector<StoredCrl> crls;
      if (const Status failed = store->Crls(crls); failed != error::kOk) return failed;
      for (const StoredCrl& stored : crls) {
        const std::shared_ptr<X509_CRL> crl = X509CrlOf(stored);
        if (!crl) continue;
        if (X509_NAME_cmp(X509_CRL_get_issuer(crl.get()),
                          X509_get_subject_name(issuerCertificate)) != 0) {
          continue;
        }
        if (!CrlVerifiedBy(crl, issuer)) continue;
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
