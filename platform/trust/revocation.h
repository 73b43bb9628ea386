// Revocation of a certificate by the CRLs that its issuer signed, as found in
// certificate stores.
#pragma once

#include <cstdint>
#include <span>

#include "platform/certificates/certificate.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"

namespace quorvel::platform {

enum class RevocationStatus {
  kNotRevoked,  // at least one CRL of the issuer was found, none lists the subject
  kRevoked,     // a CRL of the issuer lists the subject's serial number
  kNoCrl,       // the stores hold no CRL of the issuer
};

// Looks through the CRLs of `stores` for those issued by `issuer`: the CRL's
// issuer name equals the issuer's subject name and the issuer's key verifies the
// CRL's signature. CRLs that do not parse or do not verify are ignored, as if
// absent. Fails only when a store cannot be read.
Status CheckRevocation(const Certificate& subject, const Certificate& issuer,
                       std::span<CertStore* const> stores, RevocationStatus& status);

}  // namespace quorvel::platform
