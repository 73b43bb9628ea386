#include "platform/trust/chain.h"

#include <algorithm>
#include <array>
#include <new>
#include <string_view>
#include <utility>

#include "platform/certificates/certificate_openssl.h"
#include "platform/crypto/openssl_error_mark.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"
#include "platform/trust/cert_check.h"
#include "platform/trust/path_builder.h"
#include "platform/trust/revocation.h"

namespace quorvel::platform {
namespace {

using CertificateRef = std::shared_ptr<const Certificate>;

// The certificates and CRLs a chain is built from, read once per chain.
struct ChainStores {
  std::array<std::unique_ptr<CertStore>, 3> stores;  // ROOT, CA, MY
  PathCandidates candidates;

  Status Open() {
    constexpr std::array<std::string_view, 3> kNames = {kStoreRoot, kStoreCa, kStoreMy};
    for (std::size_t i = 0; i < kNames.size(); ++i) {
      if (const Status failed = CertStore::OpenSystemStore(kNames[i], stores[i]);
          failed != error::kOk)
        return failed;
      std::vector<CertContextRef> contexts;
      if (const Status failed = stores[i]->Certificates(contexts); failed != error::kOk)
        return failed;
      auto& target = i == 0 ? candidates.anchors : candidates.intermediates;
      for (const CertContextRef& context : contexts) target.push_back(context->shared());
    }
    return error::kOk;
  }

  std::array<CertStore*, 3> CrlStores() const {
    return {stores[0].get(), stores[1].get(), stores[2].get()};
  }
};

// Subject and issuer names are the same.
bool SelfIssued(const Certificate& certificate) {
  X509* x509 = X509Of(certificate);
  return X509_NAME_cmp(X509_get_subject_name(x509), X509_get_issuer_name(x509)) == 0;
}

bool SignedBy(const Certificate& subject, const Certificate& issuer) {
  return subject.SignedBy(issuer);
}

bool RevocationWanted(uint32_t flags, std::size_t index) {
  if ((flags & (kChainRevocationCheckChain | kChainRevocationCheckChainExcludeRoot)) != 0) {
    return true;
  }
  return (flags & kChainRevocationCheckEndCert) != 0 && index == 0;
}

// Fills in each element's trust errors once the chain's certificates are known.
Status CheckElements(CertificateChain& chain, bool partial, uint64_t time, uint32_t flags,
                     const ChainStores& pool) {
  const std::array<CertStore*, 3> crlStores = pool.CrlStores();
  auto& elements = chain.elements;
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const Certificate& certificate = *elements[i].certificate;
    uint32_t& status = elements[i].errorStatus;
    if (VerifyTimeValidity(time, certificate) != 0) status |= kTrustIsNotTimeValid;
    const bool hasIssuer = i + 1 < elements.size();
    if (hasIssuer) {
      const Certificate& issuer = *elements[i + 1].certificate;
      if (!SignedBy(certificate, issuer)) status |= kTrustIsNotSignatureValid;
      if (certificate.NotBefore() < issuer.NotBefore() ||
          certificate.NotAfter() > issuer.NotAfter()) {
        status |= kTrustIsNotTimeNested;
      }
    } else if (!partial && SelfIssued(certificate) && !SignedBy(certificate, certificate)) {
      status |= kTrustIsNotSignatureValid;
    }
    if (!RevocationWanted(flags, i)) continue;
    if (hasIssuer) {
      RevocationStatus revocation = RevocationStatus::kNoCrl;
      if (const Status failed =
              CheckRevocation(certificate, *elements[i + 1].certificate, crlStores, revocation);
          failed != error::kOk) {
        return failed;
      }
      if (revocation == RevocationStatus::kRevoked) status |= kTrustIsRevoked;
      if (revocation == RevocationStatus::kNoCrl) status |= kTrustRevocationStatusUnknown;
    } else if (partial) {
      // Without its issuer nothing can be said about the certificate's revocation.
      status |= kTrustRevocationStatusUnknown;
    }
    // A root is not checked for revocation: nothing above it could revoke it.
  }
  for (const ChainElement& element : elements) chain.errorStatus |= element.errorStatus;
  if (partial) chain.errorStatus |= kTrustIsPartialChain;
  return error::kOk;
}

}  // namespace

Status GetCertificateChain(std::shared_ptr<const Certificate> certificate,
                           std::optional<uint64_t> time, uint32_t flags, CertificateChain& chain) {
  chain = {};
  if (!certificate) return error::kInvalidArgument;
  OpenSslErrorMark mark;
  const uint64_t at = time.value_or(CurrentFileTime());
  try {
    ChainStores pool;
    if (const Status failed = pool.Open(); failed != error::kOk) return failed;
    CertificationPath path;
    if (const Status failed = BuildCertificationPath(certificate, pool.candidates, at, path);
        failed != error::kOk) {
      return failed;
    }
    CertificateChain built;
    built.elements = std::move(path.elements);
    if (const Status failed = CheckElements(built, path.partial, at, flags, pool);
        failed != error::kOk)
      return failed;
    chain = std::move(built);
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
  return error::kOk;
}

ChainPolicyStatus VerifyBaseChainPolicy(const CertificateChain& chain, uint32_t policyFlags) {
  const auto& elements = chain.elements;
  if (elements.empty()) return {error::kChaining, 0, -1};
  const int last = static_cast<int>(elements.size()) - 1;
  const auto firstWith = [&](uint32_t bit) -> int {
    for (int i = 0; i <= last; ++i) {
      if ((elements[static_cast<std::size_t>(i)].errorStatus & bit) != 0) return i;
    }
    return -1;
  };

  if (const int i = firstWith(kTrustIsNotSignatureValid); i >= 0) {
    return {error::kCertSignature, 0, i};
  }
  if ((chain.errorStatus & kTrustIsPartialChain) != 0) return {error::kChaining, 0, last};
  if ((policyFlags & kPolicyAllowUnknownCa) == 0) {
    if (const int i = firstWith(kTrustIsUntrustedRoot); i >= 0) {
      return {error::kUntrustedRoot, 0, i};
    }
  }
  if (const int i = firstWith(kTrustIsRevoked); i >= 0) return {error::kRevoked, 0, i};
  constexpr std::pair<uint32_t, Status> kStructuralErrors[] = {
      {kTrustInvalidBasicConstraints, error::kBasicConstraints},
      {kTrustIsNotValidForUsage, error::kWrongUsage},
      {kTrustInvalidNameConstraints, error::kInvalidName},
      {kTrustHasNotSupportedCriticalExt | kTrustInvalidExtension, error::kCritical},
      {kTrustInvalidPolicyConstraints, error::kInvalidPolicy},
  };
  for (const auto& [bits, policyError] : kStructuralErrors) {
    if (const int i = firstWith(bits); i >= 0) return {policyError, 0, i};
  }
  if ((policyFlags & kPolicyIgnoreNotTimeValid) == 0) {
    if (const int i = firstWith(kTrustIsNotTimeValid); i >= 0) {
      return {error::kCertExpired, 0, i};
    }
  }
  if ((policyFlags & kPolicyIgnoreNotTimeNested) == 0) {
    if (const int i = firstWith(kTrustIsNotTimeNested); i >= 0) {
      return {error::kValidityPeriodNesting, 0, i};
    }
  }
  for (int i = 0; i <= last; ++i) {
    if ((elements[static_cast<std::size_t>(i)].errorStatus & kTrustRevocationStatusUnknown) == 0) {
      continue;
    }
    // The end certificate, a CA in between, or the last certificate of the chain.
    const uint32_t ignore = i == 0      ? kPolicyIgnoreEndRevUnknown
                            : i == last ? kPolicyIgnoreRootRevUnknown
                                        : kPolicyIgnoreCaRevUnknown;
    if ((policyFlags & ignore) == 0) return {error::kNoRevocationCheck, 0, i};
  }
  return {};
}

}  // namespace quorvel::platform
