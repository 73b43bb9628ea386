// `quorvel demo-pki`: fills the platform home (the one QUORVEL_HOME names) with
// the test hierarchy described in docs/demo-pki.md, which demos and tests share.
//
//   quorvel demo-pki [--json]
//
// A second run replaces what an earlier run made (certificates marked as demo
// certificates, the demo key containers and the intermediate CA's CRLs) with a
// fresh hierarchy, in one transaction; everything else in the stores stays.
// --json prints what was made. Exit status: 0 on success, 3 when the home or
// its database cannot be used, 5 when making a key or certificate fails.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <iostream>

namespace quorvel::tools {

inline constexpr int kDemoPkiStorageFailure = 3;
inline constexpr int kDemoPkiCryptoFailure = 5;

// The property that marks a certificate as made by demo-pki (a user-defined
// property identifier, above the platform's own).
inline constexpr uint32_t kDemoPkiPropId = 0x8000 + 0x51;

void AddDemoPkiCommand(CLI::App& app, std::ostream& out = std::cout, std::ostream& err = std::cerr);

}  // namespace quorvel::tools
