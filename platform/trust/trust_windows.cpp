// Chains and certificate checks on Windows. Until this room rests on the
// platform's chain engine, building or checking a chain answers
// kNotSupported.
#include <windows.h>

#include "platform/trust/cert_check.h"
#include "platform/trust/chain.h"

namespace quorvel::platform {

uint64_t CurrentFileTime() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
}

int VerifyTimeValidity(uint64_t time, const Certificate& certificate) {
  if (time < certificate.NotBefore()) return -1;
  return time > certificate.NotAfter() ? 1 : 0;
}

Status VerifySubjectCertificate(const Certificate&, const Certificate*, CertStore*, uint32_t&) {
  return error::kNotSupported;
}

Status GetCertificateChain(std::shared_ptr<const Certificate>, std::optional<uint64_t>, uint32_t,
                           CertificateChain& chain) {
  chain = {};
  return error::kNotSupported;
}

ChainPolicyStatus VerifyBaseChainPolicy(const CertificateChain&, uint32_t) {
  return {.error = error::kNotSupported};
}

}  // namespace quorvel::platform
