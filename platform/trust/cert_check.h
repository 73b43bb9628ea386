// Checks of a subject certificate against one issuer certificate: the issuer's
// signature on the subject, the subject's validity period, and revocation by the
// CRLs of the store that holds the issuer.
#pragma once

#include <cstdint>

#include "platform/certificates/certificate.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"

namespace quorvel::platform {

// Check flags. On input each one asks for its check; each check that passes
// clears its flag, so the flags still set afterwards are the failures.
inline constexpr uint32_t kCertStoreSignatureFlag = 0x00000001;
inline constexpr uint32_t kCertStoreTimeValidityFlag = 0x00000002;
inline constexpr uint32_t kCertStoreRevocationFlag = 0x00000004;
// Output only: set beside the revocation flag when no CRL of the issuer was found.
inline constexpr uint32_t kCertStoreNoCrlFlag = 0x00010000;

// The current time as a file time.
uint64_t CurrentFileTime();

// -1 when `time` is before the certificate's validity, 1 when after it, 0 within
// it (both bounds included).
int VerifyTimeValidity(uint64_t time, const Certificate& certificate);

// Runs the checks asked for by `flags` on `subject`:
//  - signature: the issuer's public key verifies the subject's signature;
//  - time validity: now lies within the subject's validity period;
//  - revocation: a CRL issued by the issuer is sought in `issuerStore`; when
//    none is found kCertStoreNoCrlFlag is added and the revocation flag stays;
//    when one lists the subject the revocation flag stays.
// kInvalidArgument for unknown flags, or for the signature or revocation check
// without an issuer (and for revocation without the issuer's store). A store
// that cannot be read fails with its error. The outcome of the checks is in
// `flags`, not in the return value.
Status VerifySubjectCertificate(const Certificate& subject, const Certificate* issuer,
                                CertStore* issuerStore, uint32_t& flags);

}  // namespace quorvel::platform
