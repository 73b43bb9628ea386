#include "engine/signer_chain.h"

#include <memory>
#include <new>
#include <optional>
#include <string>

#include "engine/engine_errors.h"
#include "platform/certificates/name_string.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"
#include "platform/trust/cert_check.h"
#include "platform/trust/chain.h"

namespace quorvel::engine {
namespace {

namespace perr = platform::error;

constexpr uint32_t kCrlfX500 = platform::kX500NameStr | platform::kNameStrCrlfFlag;
constexpr uint32_t kChainPolicyFlags =
    platform::kPolicyIgnoreAllRevUnknown | platform::kPolicyTrustTestRoot;

// The issuer certificate with the store it came from, which the revocation
// check searches for the issuer's CRLs.
struct FoundIssuer {
  std::unique_ptr<platform::CertStore> store;
  platform::CertContextRef certificate;
};

// The first certificate of `store` whose subject, found by `displayName`,
// renders exactly as `issuerText`.
platform::CertContextRef FindIssuerIn(platform::CertStore& store, const std::u16string& displayName,
                                      const std::u16string& issuerText) {
  platform::CertFind criterion;
  criterion.type = platform::FindType::kSubjectStr;
  criterion.text = displayName;
  platform::CertContextRef candidate;
  while (store.Find(criterion, candidate, candidate) == perr::kOk && candidate) {
    std::u16string subjectText;
    if (platform::NameToString(candidate->certificate().SubjectName(), kCrlfX500, subjectText) ==
            perr::kOk &&
        subjectText == issuerText) {
      return candidate;
    }
  }
  return nullptr;
}

// Looks in "CA", then "ROOT", each store closed before the next is opened.
std::optional<FoundIssuer> FindIssuer(const std::u16string& displayName,
                                      const std::u16string& issuerText) {
  for (const std::string_view name : {platform::kStoreCa, platform::kStoreRoot}) {
    FoundIssuer found;
    if (platform::CertStore::OpenSystemStore(name, found.store) != perr::kOk || !found.store) {
      continue;
    }
    found.certificate = FindIssuerIn(*found.store, displayName, issuerText);
    if (found.certificate) return found;
  }
  return std::nullopt;
}

// The flags of one issuer check still set afterwards: the check's failures.
// The call's own result is not consulted: a check that could not run leaves
// its flag set and so counts as failed.
uint32_t RunIssuerCheck(const platform::Certificate& subject, const FoundIssuer& issuer,
                        uint32_t flag) {
  uint32_t flags = flag;
  static_cast<void>(platform::VerifySubjectCertificate(subject, &issuer.certificate->certificate(),
                                                       issuer.store.get(), flags));
  return flags;
}

// A chain built now, with the end certificate's revocation checked, that the
// base policy accepts; expiry and validity nesting are tolerated.
bool ChainPolicyAccepts(std::shared_ptr<const platform::Certificate> certificate) {
  platform::CertificateChain chain;
  if (platform::GetCertificateChain(std::move(certificate), std::nullopt,
                                    platform::kChainRevocationCheckEndCert, chain) != perr::kOk) {
    return false;
  }
  const platform::ChainPolicyStatus status =
      platform::VerifyBaseChainPolicy(chain, kChainPolicyFlags);
  return status.error == perr::kOk || status.error == perr::kCertExpired ||
         status.error == perr::kValidityPeriodNesting;
}

ErrorNumber CheckSigner(const platform::CertContext& context, uint32_t flags) {
  const platform::Certificate& certificate = context.certificate();

  std::u16string displayName;
  if (platform::SimpleDisplayName(certificate.IssuerName(), displayName) != perr::kOk ||
      displayName.empty()) {
    return err::kSystemError;
  }
  std::u16string issuerText;
  if (platform::NameToString(certificate.IssuerName(), kCrlfX500, issuerText) != perr::kOk) {
    return err::kSystemError;
  }

  const std::optional<FoundIssuer> issuer = FindIssuer(displayName, issuerText);
  if (!issuer) return err::kIssuerNotFound;

  if ((flags & kChainCheckSignature) != 0 &&
      (RunIssuerCheck(certificate, *issuer, platform::kCertStoreSignatureFlag) &
       platform::kCertStoreSignatureFlag) != 0) {
    return err::kCertSignatureFaulty;
  }
  if ((flags & kChainCheckTime) != 0 &&
      (RunIssuerCheck(certificate, *issuer, platform::kCertStoreTimeValidityFlag) &
       platform::kCertStoreTimeValidityFlag) != 0) {
    return err::kCertExpired;
  }
  if ((flags & kChainCheckRevocation) != 0) {
    const uint32_t left = RunIssuerCheck(certificate, *issuer, platform::kCertStoreRevocationFlag);
    if ((left & platform::kCertStoreRevocationFlag) != 0 &&
        (left & platform::kCertStoreNoCrlFlag) == 0) {
      return err::kCertRevoked;
    }
  }
  if ((flags & kChainCheckPolicy) != 0 && !ChainPolicyAccepts(context.shared())) {
    return err::kChainInvalid;
  }
  return err::kOk;
}

}  // namespace

ErrorNumber VerifySignerChain(const platform::CertContext& certificate, uint32_t flags) {
  try {
    return CheckSigner(certificate, flags);
  } catch (const std::bad_alloc&) {
    return err::kSystemError;
  }
}

}  // namespace quorvel::engine
