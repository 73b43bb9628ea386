// Files the `quorvel` command writes for its user: whole and private.
#pragma once

#include <string>
#include <string_view>

#include "platform/fileio/whole_file.h"

namespace quorvel::tools {

using platform::ExistingFile;

// Writes `data` to `path` as a new file of mode 0600 (platform's
// WriteFileBeside); false with `problem` set, for the user, on failure.
bool WritePrivateFile(const std::string& path, std::string_view data, ExistingFile existing,
                      std::string& problem);

}  // namespace quorvel::tools
