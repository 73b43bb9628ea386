// `quorvel store export`: a certificate as DER or PEM, or with its key (and
// its chain) as a PKCS#12 file.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "tools/command_failure.h"

namespace quorvel::tools {

std::optional<Failure> Export(const std::string& storeName, const std::string& sha1,
                              const std::string& outFile, bool pem, std::ostream& out);

struct Pkcs12Export {
  std::string storeName;
  std::string sha1;
  std::string outFile;
  std::string passwordFile;
  bool chain = false;
  bool force = false;
};

std::optional<Failure> ExportPkcs12(const Pkcs12Export& request, std::ostream& out);

}  // namespace quorvel::tools
