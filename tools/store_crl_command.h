// `quorvel store` subcommands for the CRLs of the stores:
//
//   quorvel store import-crl FILE [--store S]    (CA by default)
//   quorvel store list-crls [--store S] [--json]
//       each CRL with its thumbprint, issuer, the issuer's key identifier, its
//       dates and the serial numbers it lists
//   quorvel store remove-crl --store S SHA1      (the thumbprint list-crls shows)
#pragma once

#include <CLI/CLI.hpp>

#include <ostream>

namespace quorvel::tools {

void AddStoreCrlCommands(CLI::App& store, std::ostream& out, std::ostream& err);

}  // namespace quorvel::tools
