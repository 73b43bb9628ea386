// Certificate chains of the current user's stores and the base chain policy.
//
// A chain runs from the certificate it was built for up to a trust anchor:
// anchors are the certificates of "ROOT", intermediates come from "CA" and "MY",
// and revocation is judged by the CRLs of those three stores. Each element
// carries the trust errors found for it; the chain carries their union.
// docs/chains.md says how chains are built and checked.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/certificates/certificate.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {

// Trust error status bits, per element and for the whole chain.
inline constexpr uint32_t kTrustIsNotTimeValid = 0x00000001;
inline constexpr uint32_t kTrustIsNotTimeNested = 0x00000002;
inline constexpr uint32_t kTrustIsRevoked = 0x00000004;
inline constexpr uint32_t kTrustIsNotSignatureValid = 0x00000008;
inline constexpr uint32_t kTrustIsUntrustedRoot = 0x00000020;
inline constexpr uint32_t kTrustIsNotValidForUsage = 0x00000010;  // an issuer without keyCertSign
inline constexpr uint32_t kTrustRevocationStatusUnknown = 0x00000040;
// Extensions the chain engine could not make sense of.
inline constexpr uint32_t kTrustInvalidExtension = 0x00000100;
inline constexpr uint32_t kTrustInvalidPolicyConstraints = 0x00000200;
// An issuer that is no CA, or one past its path length.
inline constexpr uint32_t kTrustInvalidBasicConstraints = 0x00000400;
inline constexpr uint32_t kTrustInvalidNameConstraints = 0x00000800;
inline constexpr uint32_t kTrustHasNotSupportedNameConstraint = 0x00001000;
inline constexpr uint32_t kTrustHasNotPermittedNameConstraint = 0x00004000;
inline constexpr uint32_t kTrustHasExcludedNameConstraint = 0x00008000;
inline constexpr uint32_t kTrustHasNotSupportedCriticalExt = 0x08000000;
inline constexpr uint32_t kTrustIsPartialChain = 0x00010000;  // chain only

// Chain-building flags: which certificates have their revocation checked.
inline constexpr uint32_t kChainRevocationCheckEndCert = 0x10000000;
inline constexpr uint32_t kChainRevocationCheckChain = 0x20000000;
inline constexpr uint32_t kChainRevocationCheckChainExcludeRoot = 0x40000000;

// Base policy flags.
inline constexpr uint32_t kPolicyIgnoreNotTimeValid = 0x00000001;
inline constexpr uint32_t kPolicyIgnoreNotTimeNested = 0x00000004;
inline constexpr uint32_t kPolicyAllowUnknownCa = 0x00000010;
inline constexpr uint32_t kPolicyIgnoreEndRevUnknown = 0x00000100;
inline constexpr uint32_t kPolicyIgnoreCtlSignerRevUnknown = 0x00000200;
inline constexpr uint32_t kPolicyIgnoreCaRevUnknown = 0x00000400;
inline constexpr uint32_t kPolicyIgnoreRootRevUnknown = 0x00000800;
inline constexpr uint32_t kPolicyIgnoreAllRevUnknown = 0x00000F00;
// Accepted for compatibility: every root of "ROOT" is trusted alike.
inline constexpr uint32_t kPolicyTrustTestRoot = 0x00004000;

struct ChainElement {
  std::shared_ptr<const Certificate> certificate;
  uint32_t errorStatus = 0;
};

struct CertificateChain {
  // The certificate the chain was built for first, its anchor (or the last
  // certificate found) last.
  std::vector<ChainElement> elements;
  uint32_t errorStatus = 0;
  // The platform's own chain, where the platform builds chains itself.
  struct Native;
  std::shared_ptr<const Native> native;
};

// Builds the chain of `certificate` at `time` (a file time; none: now). An
// issuer is a certificate whose subject (compared as RFC 5280 compares names)
// and key identifier match the issuer named by the certificate below it; among
// several, one whose key verifies the signature and that is valid at `time` is
// preferred, trust anchors first. Self-issued certificates (key rollover) are
// chained through like any other. The chain ends at a certificate of "ROOT", at
// a self-signed certificate (an untrusted root when "ROOT" does not hold it), or
// where no issuer is found (a partial chain). Besides validity, signatures and
// revocation, each element carries what was found wrong with the path's basic
// constraints, key usage, name constraints, policy constraints and critical
// extensions. Fails only when the stores cannot be read or memory runs out.
Status GetCertificateChain(std::shared_ptr<const Certificate> certificate,
                           std::optional<uint64_t> time, uint32_t flags, CertificateChain& chain);

struct ChainPolicyStatus {
  Status error = error::kOk;
  int chainIndex = -1;
  int elementIndex = -1;  // the element the error belongs to
};

// The base policy's verdict on `chain`. When several errors apply, the first
// of this order is reported: a signature that does not verify
// (kCertSignature), no chain to a root (kChaining) or a root that is not
// trusted (kUntrustedRoot), a revoked certificate (kRevoked), invalid basic
// constraints (kBasicConstraints), an issuer not allowed to sign certificates
// (kWrongUsage), violated or unsupported name constraints (kInvalidName), an
// unhandled critical extension or another extension that could not be
// processed (kCritical), violated policy constraints (kInvalidPolicy), a
// certificate outside its validity (kCertExpired), validity periods that do not
// nest (kValidityPeriodNesting), revocation that could not be determined
// (kNoRevocationCheck, unless ignored for that position by `policyFlags`).
// Errors of the path's structure come before those of time, so that a caller
// tolerating expiry never tolerates them with it.
ChainPolicyStatus VerifyBaseChainPolicy(const CertificateChain& chain, uint32_t policyFlags);

}  // namespace quorvel::platform
