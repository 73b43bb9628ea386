// `quorvel history`: the signing history of the platform home.
//
//   quorvel history [--json] [--caller ORIGIN] [--since DATE]
//       every operation a private key was used (or refused) in through
//       `quorvel host`, oldest first: time (UTC), caller (the web origin or
//       "local"), member, certificate, thumbprint, contentSha256, outcome
//       (signed, decrypted, cancelled, failed) and errorNum; DATE is
//       YYYY-MM-DD or a time as shown
//   quorvel history clear
//
// Exit status: 0 on success, 2 for a bad argument, 3 when the home cannot be used.
#pragma once

#include <CLI/CLI.hpp>

#include <iostream>

namespace quorvel::tools {

void AddHistoryCommand(CLI::App& app, std::ostream& out = std::cout, std::ostream& err = std::cerr);

}  // namespace quorvel::tools
