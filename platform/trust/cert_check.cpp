#include "platform/trust/cert_check.h"

#include <chrono>

#include "platform/crypto/openssl_error_mark.h"
#include "platform/errors/platform_errors.h"
#include "platform/trust/revocation.h"

namespace quorvel::platform {
namespace {

// File time of 1970-01-01 00:00:00 UTC.
constexpr uint64_t kUnixEpochFileTime = 116444736000000000ULL;

constexpr uint32_t kKnownFlags =
    kCertStoreSignatureFlag | kCertStoreTimeValidityFlag | kCertStoreRevocationFlag;

}  // namespace

uint64_t CurrentFileTime() {
  using namespace std::chrono;
  const auto since = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
  return kUnixEpochFileTime + static_cast<uint64_t>(since / 100);
}

int VerifyTimeValidity(uint64_t time, const Certificate& certificate) {
  if (time < certificate.NotBefore()) return -1;
  if (time > certificate.NotAfter()) return 1;
  return 0;
}

Status VerifySubjectCertificate(const Certificate& subject, const Certificate* issuer,
                                CertStore* issuerStore, uint32_t& flags) {
  if ((flags & ~kKnownFlags) != 0) return error::kInvalidArgument;
  if ((flags & (kCertStoreSignatureFlag | kCertStoreRevocationFlag)) != 0 && issuer == nullptr) {
    return error::kInvalidArgument;
  }
  if ((flags & kCertStoreRevocationFlag) != 0 && issuerStore == nullptr) {
    return error::kInvalidArgument;
  }

  if ((flags & kCertStoreSignatureFlag) != 0) {
    if (subject.SignedBy(*issuer)) flags &= ~kCertStoreSignatureFlag;
  }

  if ((flags & kCertStoreTimeValidityFlag) != 0 &&
      VerifyTimeValidity(CurrentFileTime(), subject) == 0) {
    flags &= ~kCertStoreTimeValidityFlag;
  }

  if ((flags & kCertStoreRevocationFlag) != 0) {
    RevocationStatus status = RevocationStatus::kNoCrl;
    CertStore* const stores[] = {issuerStore};
    if (const Status failed = CheckRevocation(subject, *issuer, stores, status);
        failed != error::kOk)
      return failed;
    switch (status) {
      case RevocationStatus::kNotRevoked:
        flags &= ~kCertStoreRevocationFlag;
        break;
      case RevocationStatus::kNoCrl:
        flags |= kCertStoreNoCrlFlag;
        break;
      case RevocationStatus::kRevoked:
        break;
    }
  }
  return error::kOk;
}

}  // namespace quorvel::platform
