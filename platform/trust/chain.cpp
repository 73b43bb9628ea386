#include "platform/trust/chain.h"

#include <algorithm>
#include <array>
#include <new>
#include <string_view>

#include "platform/crypto/openssl_error_mark.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"
#include "platform/trust/cert_check.h"
#include "platform/trust/revocation.h"

namespace quorvel::platform {
namespace {

// Longer chains are cut and reported as partial; they only arise from cycles
// or hostile store contents.
constexpr std::size_t kMaxChainLength = 16;

using CertificateRef = std::shared_ptr<const Certificate>;

// The certificates and CRLs a chain is built from, read once per chain.
struct ChainStores {
  std::array<std::unique_ptr<CertStore>, 3> stores;  // ROOT, CA, MY
  std::vector<CertificateRef> anchors;
  std::vector<CertificateRef> intermediates;

  uint32_t Open() {
    constexpr std::array<std::string_view, 3> kNames = {kStoreRoot, kStoreCa, kStoreMy};
    for (std::size_t i = 0; i < kNames.size(); ++i) {
      if (const uint32_t failed = CertStore::OpenSystemStore(kNames[i], stores[i])) return failed;
      std::vector<CertContextRef> contexts;
      if (const uint32_t failed = stores[i]->Certificates(contexts)) return failed;
      auto& target = i == 0 ? anchors : intermediates;
      for (const CertContextRef& context : contexts) target.push_back(context->shared());
    }
    return error::kOk;
  }

  std::array<CertStore*, 3> CrlStores() const {
    return {stores[0].get(), stores[1].get(), stores[2].get()};
  }
};

bool SameCertificate(const Certificate& a, const Certificate& b) {
  return a.Sha1() == b.Sha1();
}

bool Holds(const std::vector<CertificateRef>& certificates, const Certificate& certificate) {
  return std::any_of(certificates.begin(), certificates.end(), [&](const CertificateRef& held) {
    return SameCertificate(*held, certificate);
  });
}

bool InChain(const std::vector<ChainElement>& elements, const Certificate& certificate) {
  return std::any_of(elements.begin(), elements.end(), [&](const ChainElement& element) {
    return SameCertificate(*element.certificate, certificate);
  });
}

// Names (and key identifiers, where both certificates carry them) say that
// `issuer` issued `subject`; the signature is not looked at.
bool NamesIssuer(const Certificate& subject, const Certificate& issuer) {
  return X509_check_issued(issuer.X509Handle(), subject.X509Handle()) == X509_V_OK;
}

// Subject and issuer names are the same: the top of a chain, whatever its
// extensions say about its use.
bool SelfIssued(const Certificate& certificate) {
  X509* x509 = certificate.X509Handle();
  return X509_NAME_cmp(X509_get_subject_name(x509), X509_get_issuer_name(x509)) == 0;
}

bool SignedBy(const Certificate& subject, const Certificate& issuer) {
  return subject.SignedBy(issuer);
}

// The best issuer of `subject` not yet in the chain: anchors before
// intermediates, and within them the first whose key verifies the signature and
// which is valid at `time`, else the first that verifies, else the first named.
CertificateRef FindIssuer(const Certificate& subject, const ChainStores& pool,
                          const std::vector<ChainElement>& elements, uint64_t time) {
  CertificateRef best;
  int bestScore = -1;
  for (const auto* candidates : {&pool.anchors, &pool.intermediates}) {
    for (const CertificateRef& candidate : *candidates) {
      if (InChain(elements, *candidate) || !NamesIssuer(subject, *candidate)) continue;
      const int score = (SignedBy(subject, *candidate) ? 2 : 0) +
                        (VerifyTimeValidity(time, *candidate) == 0 ? 1 : 0);
      if (score > bestScore) {
        best = candidate;
        bestScore = score;
        if (score == 3) return best;
      }
    }
  }
  return best;
}

bool RevocationWanted(uint32_t flags, std::size_t index) {
  if ((flags & (kChainRevocationCheckChain | kChainRevocationCheckChainExcludeRoot)) != 0) {
    return true;
  }
  return (flags & kChainRevocationCheckEndCert) != 0 && index == 0;
}

// Fills in each element's trust errors once the chain's certificates are known.
uint32_t CheckElements(CertificateChain& chain, bool partial, uint64_t time, uint32_t flags,
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
      if (const uint32_t failed =
              CheckRevocation(certificate, *elements[i + 1].certificate, crlStores, revocation)) {
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

uint32_t GetCertificateChain(std::shared_ptr<const Certificate> certificate,
                             std::optional<uint64_t> time, uint32_t flags,
                             CertificateChain& chain) {
  chain = {};
  if (!certificate) return error::kInvalidArgument;
  OpenSslErrorMark mark;
  const uint64_t at = time.value_or(CurrentFileTime());
  try {
    ChainStores pool;
    if (const uint32_t failed = pool.Open()) return failed;
    CertificateChain built;
    built.elements.push_back({std::move(certificate), 0});
    bool partial = false;
    for (;;) {
      ChainElement& top = built.elements.back();
      if (Holds(pool.anchors, *top.certificate)) break;
      if (SelfIssued(*top.certificate)) {
        top.errorStatus |= kTrustIsUntrustedRoot;
        break;
      }
      if (built.elements.size() >= kMaxChainLength) {
        partial = true;
        break;
      }
      CertificateRef issuer = FindIssuer(*top.certificate, pool, built.elements, at);
      if (!issuer) {
        partial = true;
        break;
      }
      built.elements.push_back({std::move(issuer), 0});
    }
    if (const uint32_t failed = CheckElements(built, partial, at, flags, pool)) return failed;
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
