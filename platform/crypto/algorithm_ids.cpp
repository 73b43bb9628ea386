#include "platform/crypto/algorithm_ids.h"

#include <array>

namespace quorvel::platform {
namespace {

struct AlgorithmEntry {
  std::string_view oid;
  uint32_t algId;
};

constexpr std::array<AlgorithmEntry, 12> kAlgorithms = {{
    {"1.2.840.113549.2.2", kCalgMd2},
    {"1.2.840.113549.2.5", kCalgMd5},
    {"1.3.14.3.2.26", kCalgSha1},
    {"2.16.840.1.101.3.4.2.1", kCalgSha256},
    {"2.16.840.1.101.3.4.2.2", kCalgSha384},
    {"2.16.840.1.101.3.4.2.3", kCalgSha512},
    {"1.2.840.113549.3.4", kCalgRc4},
    {"1.2.840.113549.3.2", kCalgRc2},
    {"1.3.14.3.2.7", kCalgDes},
    {"1.2.840.113549.3.7", kCalg3Des},
    {"2.16.840.1.101.3.4.1.2", kCalgAes128},
    {"2.16.840.1.101.3.4.1.42", kCalgAes256},
}};

}  // namespace

uint32_t OidToAlgId(std::string_view oid) {
  for (const AlgorithmEntry& entry : kAlgorithms) {
    if (entry.oid == oid) return entry.algId;
  }
  return 0;
}

std::string_view AlgIdToOid(uint32_t algId) {
  for (const AlgorithmEntry& entry : kAlgorithms) {
    if (entry.algId == algId) return entry.oid;
  }
  return {};
}

}  // namespace quorvel::platform
