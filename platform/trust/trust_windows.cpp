// Chains and certificate checks on the platform's chain engine: chains are
// built by CertGetCertificateChain from the current user's and the machine's
// stores, and judged by CertVerifyCertificateChainPolicy with the base
// policy. The engine's trust-status bits are the ones the chain carries.
#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <new>

#include "platform/certificates/certificate_windows.h"
#include "platform/errors/platform_errors_windows.h"
#include "platform/stores/cert_store_windows.h"
#include "platform/trust/cert_check.h"
#include "platform/trust/chain.h"

namespace quorvel::platform {

struct CertificateChain::Native {
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  explicit Native(PCCERT_CHAIN_CONTEXT built) : chain(built) {}
  Native(const Native&) = delete;
  Native& operator=(const Native&) = delete;
  ~Native() {
    if (chain != nullptr) CertFreeCertificateChain(chain);
  }
};

uint64_t CurrentFileTime() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
}

int VerifyTimeValidity(uint64_t time, const Certificate& certificate) {
  if (time < certificate.NotBefore()) return -1;
  return time > certificate.NotAfter() ? 1 : 0;
}

namespace {

// The revocation check's flags left set: none when a CRL of the issuer's
// store, signed by the issuer, does not list `subject`; the revocation flag
// when one does; that and the no-CRL flag when the store holds none. Done
// here on the CRL functions since Wine's check looks in the subject's store
// and never clears the flag.
DWORD RevocationLeft(PCCERT_CONTEXT subject, PCCERT_CONTEXT storedIssuer) {
  constexpr DWORD kNoCrl = CERT_STORE_REVOCATION_FLAG | CERT_STORE_NO_CRL_FLAG;
  if (storedIssuer == nullptr || storedIssuer->hCertStore == nullptr) return kNoCrl;
  PCCRL_CONTEXT crl = nullptr;
  for (;;) {
    DWORD checks = CERT_STORE_SIGNATURE_FLAG;
    crl = CertGetCRLFromStore(storedIssuer->hCertStore, storedIssuer, crl, &checks);
    if (crl == nullptr) return kNoCrl;
    if ((checks & CERT_STORE_SIGNATURE_FLAG) == 0) break;
  }
  PCRL_INFO info = crl->pCrlInfo;
  const BOOL listed =
      CertVerifyCRLRevocation(kCertificateEncoding, subject->pCertInfo, 1, &info) == 0;
  CertFreeCRLContext(crl);
  return listed ? CERT_STORE_REVOCATION_FLAG : 0;
}

}  // namespace

// The issuer as `issuerStore` holds it, so that its CRLs are found in that
// store; the issuer's own context when the store does not hold it.
Status VerifySubjectCertificate(const Certificate& subject, const Certificate* issuer,
                                CertStore* issuerStore, uint32_t& flags) {
  PCCERT_CONTEXT stored = nullptr;
  if (issuer != nullptr && issuerStore != nullptr && issuerStore->native() != nullptr) {
    const Bytes& sha1 = issuer->Sha1();
    CRYPT_HASH_BLOB hash{static_cast<DWORD>(sha1.size()), const_cast<BYTE*>(sha1.data())};
    stored = CertFindCertificateInStore(issuerStore->native()->store, kCertificateEncoding, 0,
                                        CERT_FIND_SHA1_HASH, &hash, nullptr);
  }
  PCCERT_CONTEXT issuerContext =
      stored != nullptr ? stored : (issuer != nullptr ? issuer->native().context : nullptr);
  DWORD checks = flags & ~static_cast<DWORD>(CERT_STORE_REVOCATION_FLAG);
  const DWORD revocation = (flags & CERT_STORE_REVOCATION_FLAG) != 0
                               ? RevocationLeft(subject.native().context, stored)
                               : 0;
  const BOOL verified =
      CertVerifySubjectCertificateContext(subject.native().context, issuerContext, &checks);
  const Status failure = verified == 0 ? LastPlatformError() : error::kOk;
  if (stored != nullptr) CertFreeCertificateContext(stored);
  flags = checks | revocation;
  return failure;
}

Status GetCertificateChain(std::shared_ptr<const Certificate> certificate,
                           std::optional<uint64_t> time, uint32_t flags, CertificateChain& chain) {
  chain = {};
  if (!certificate) return error::kInvalidArgument;
  FILETIME at{};
  if (time) {
    at.dwLowDateTime = static_cast<DWORD>(*time);
    at.dwHighDateTime = static_cast<DWORD>(*time >> 32);
  }
  CERT_CHAIN_PARA parameters{};
  parameters.cbSize = sizeof parameters;
  PCCERT_CHAIN_CONTEXT built = nullptr;
  if (CertGetCertificateChain(nullptr, certificate->native().context, time ? &at : nullptr, nullptr,
                              &parameters, flags, nullptr, &built) == 0) {
    return LastPlatformError();
  }
  std::shared_ptr<const CertificateChain::Native> native;
  try {
    native = std::make_shared<const CertificateChain::Native>(built);
  } catch (const std::bad_alloc&) {
    CertFreeCertificateChain(built);
    return error::kOutOfMemory;
  }
  try {
    CertificateChain result;
    result.errorStatus = built->TrustStatus.dwErrorStatus;
    if (built->cChain > 0) {
      const CERT_SIMPLE_CHAIN& simple = *built->rgpChain[0];
      for (DWORD i = 0; i < simple.cElement; ++i) {
        const CERT_CHAIN_ELEMENT& element = *simple.rgpElement[i];
        ChainElement entry;
        const PCCERT_CONTEXT context = element.pCertContext;
        if (const Status parsed = Certificate::FromDer(
                std::span<const uint8_t>(context->pbCertEncoded, context->cbCertEncoded),
                entry.certificate);
            parsed != error::kOk) {
          return parsed;
        }
        entry.errorStatus = element.TrustStatus.dwErrorStatus;
        result.elements.push_back(std::move(entry));
      }
    }
    result.native = std::move(native);
    chain = std::move(result);
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
  return error::kOk;
}

ChainPolicyStatus VerifyBaseChainPolicy(const CertificateChain& chain, uint32_t policyFlags) {
  if (!chain.native) return {error::kChaining, 0, -1};
  CERT_CHAIN_POLICY_PARA parameters{};
  parameters.cbSize = sizeof parameters;
  parameters.dwFlags = policyFlags;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_BASE, chain.native->chain, &parameters,
                                       &status) == 0) {
    return {LastPlatformError(), -1, -1};
  }
  return {static_cast<Status>(status.dwError), static_cast<int>(status.lChainIndex),
          static_cast<int>(status.lElementIndex)};
}

}  // namespace quorvel::platform
