#include "tools/private_file.h"

#include <cerrno>
#include <cstring>

#include "platform/fileio/whole_file.h"

namespace quorvel::tools {

bool WritePrivateFile(const std::string& path, std::string_view data, ExistingFile existing,
                      std::string& problem) {
  const int cause = platform::WriteFileBeside(path, data, existing);
  if (cause == 0) return true;
  problem = cause == EEXIST ? path + " exists (--force replaces it)"
                            : "cannot write " + path + ": " + std::strerror(cause);
  return false;
}

}  // namespace quorvel::tools
