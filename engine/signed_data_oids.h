// The object identifiers of the hand-built SignedData, as the codec's arc
// arrays.
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "engine/signed_data.h"

namespace quorvel::engine::oid {

inline constexpr std::array<int, 7> kSignedData{1, 2, 840, 113549, 1, 7, 2};
inline constexpr std::array<int, 7> kData{1, 2, 840, 113549, 1, 7, 1};
inline constexpr std::array<int, 7> kRsaEncryption{1, 2, 840, 113549, 1, 1, 1};
inline constexpr std::array<int, 6> kSha1{1, 3, 14, 3, 2, 26};
inline constexpr std::array<int, 6> kMd5{1, 2, 840, 113549, 2, 5};

// The arcs of an accepted digest given as dotted text; empty for any other.
inline std::span<const int> DigestArcs(std::string_view dotted) {
  if (dotted == kSha1DigestOid) return kSha1;
  if (dotted == kMd5DigestOid) return kMd5;
  return {};
}

// True when `count` arcs at `arcs` are exactly `expected`.
inline bool Equals(const int* arcs, int count, std::span<const int> expected) {
  if (arcs == nullptr || count != static_cast<int>(expected.size())) return false;
  for (size_t i = 0; i < expected.size(); ++i) {
    if (arcs[i] != expected[i]) return false;
  }
  return true;
}

}  // namespace quorvel::engine::oid
