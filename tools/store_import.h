// `quorvel store import`: a certificate with its key and chain, from a
// PKCS#12 file or PEM or DER files, into the stores in one transaction.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "platform/stores/cert_store.h"
#include "tools/command_failure.h"

namespace quorvel::tools {

struct ImportArguments {
  std::string file;
  std::string password;
  std::string keyFile;
  std::string store = std::string(platform::kStoreMy);
  std::string keySpec;  // empty: as a PKCS#12 file records it, else exchange
  std::string container;
};

std::optional<Failure> Import(const ImportArguments& arguments, std::ostream& out);

}  // namespace quorvel::tools
