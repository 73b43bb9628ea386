// The certificates parsed in this process, found again by their DER.
//
// A Certificate depends on nothing but its bytes, so one parsed before serves
// every later parse of the same bytes, whether they come from a store or a
// message. Entries are matched by the SHA-1 of the DER and then by the DER
// itself, so that bytes made to collide with a held certificate's hash never
// receive it. The set is bounded in entries and bytes, forgets the least
// recently used first and may be used from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/certificates/certificate.h"

namespace quorvel::platform {

inline constexpr std::size_t kMaxParsedCertificates = 2048;
inline constexpr std::size_t kMaxParsedCertificateBytes = std::size_t{16} << 20;

// The certificate parsed from exactly `der`, whose SHA-1 is `sha1`; null when
// none is held.
std::shared_ptr<const Certificate> FindParsedCertificate(std::span<const uint8_t> sha1,
                                                         std::span<const uint8_t> der);

// Remembers `certificate`, forgetting the least recently used ones beyond the bounds.
void KeepParsedCertificate(const std::shared_ptr<const Certificate>& certificate);

}  // namespace quorvel::platform
