// Dotted algorithm OIDs and the platform's algorithm identifiers (ALG_ID).
#pragma once

#include <cstdint>
#include <string_view>

namespace quorvel::platform {

inline constexpr uint32_t kCalgMd2 = 0x8001;
inline constexpr uint32_t kCalgMd5 = 0x8003;
inline constexpr uint32_t kCalgSha1 = 0x8004;
inline constexpr uint32_t kCalgSha256 = 0x800C;
inline constexpr uint32_t kCalgSha384 = 0x800D;
inline constexpr uint32_t kCalgSha512 = 0x800E;
inline constexpr uint32_t kCalgRc4 = 0x6801;
inline constexpr uint32_t kCalgRc2 = 0x6602;
inline constexpr uint32_t kCalgDes = 0x6601;
inline constexpr uint32_t kCalg3Des = 0x6603;
inline constexpr uint32_t kCalgAes128 = 0x660E;
inline constexpr uint32_t kCalgAes256 = 0x6610;

// The identifier of a dotted OID; 0 for an OID without one.
uint32_t OidToAlgId(std::string_view oid);

// The dotted OID of an identifier; empty for an unknown identifier.
std::string_view AlgIdToOid(uint32_t algId);

}  // namespace quorvel::platform
