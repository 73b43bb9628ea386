// The certification path of a certificate over the chain stores' certificates,
// found and checked by OpenSSL's verifier.
//
// Issuers are found by name as RFC 5280 compares names (case and inner
// whitespace do not matter) and by key identifier; among several, one whose key
// verifies the signature is taken, and among those one valid at the time given.
// The verifier's findings about the path's structure are kept for each
// certificate: basic constraints, key usage, name constraints, policy
// constraints and critical extensions it does not handle. Validity periods,
// signatures and revocation are left to the caller.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/certificates/certificate.h"
#include "platform/errors/platform_errors.h"
#include "platform/trust/chain.h"

namespace quorvel::platform {

struct PathCandidates {
  std::vector<std::shared_ptr<const Certificate>> anchors;        // trusted as they are
  std::vector<std::shared_ptr<const Certificate>> intermediates;  // may issue, not trusted
};

struct CertificationPath {
  // The certificate first; each element's errorStatus holds the structural
  // errors found for it, kTrustIsUntrustedRoot among them.
  std::vector<ChainElement> elements;
  bool partial = false;  // no issuer was found for the last element
};

// Builds the path of `certificate` at `time` (a file time). Fails only when
// memory runs out or the verifier cannot run.
Status BuildCertificationPath(const std::shared_ptr<const Certificate>& certificate,
                              const PathCandidates& candidates, uint64_t time,
                              CertificationPath& path);

}  // namespace quorvel::platform
