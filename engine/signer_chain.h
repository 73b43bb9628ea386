// The check of a signer certificate's issuer and chain that every verifying
// entry point runs once the signature itself has verified.
#pragma once

#include <cstdint>

#include "platform/certificates/certificate.h"
#include "platform/errors/error_numbers.h"

namespace quorvel::engine {

// Checks that `VerifySignerChain` runs besides finding the issuer.
inline constexpr uint32_t kChainCheckRevocation = 1;
inline constexpr uint32_t kChainCheckSignature = 2;
inline constexpr uint32_t kChainCheckTime = 4;
inline constexpr uint32_t kChainCheckPolicy = 8;
// Every check: verification at the time of receipt.
inline constexpr uint32_t kChainCheckAll = 15;
// Signature and chain policy only: verification of an old signature, whose
// signer may have expired since.
inline constexpr uint32_t kChainCheckAfterwards = kChainCheckSignature | kChainCheckPolicy;

// Runs, in this order, stopping at the first failure:
//  1. the issuer's simple display name must not be empty (else -10016);
//  2. the issuer certificate is sought in the user's "CA", then "ROOT": among
//     the certificates whose subject contains that display name (any case),
//     the first whose X.500 subject text (CR LF between parts) equals the
//     certificate's issuer text exactly (else -10014);
//  3. with kChainCheckSignature, the issuer's key verifies the certificate
//     (else -10017);
//  4. with kChainCheckTime, now lies within the certificate's validity
//     (else -10011);
//  5. with kChainCheckRevocation, no CRL of the issuer in the issuer's store
//     lists the certificate (else -10012; no CRL at all passes);
//  6. with kChainCheckPolicy, a chain to a root of "ROOT" is built, revocation
//     of the end certificate checked, and the base policy (unknown revocation
//     ignored) reports no error other than expiry or validity nesting
//     (else -10013).
// Returns 0 when every check asked for passes.
ErrorNumber VerifySignerChain(const platform::CertContext& certificate, uint32_t flags);

}  // namespace quorvel::engine
