// Files the `quorvel` command writes for its user: whole and private.
#pragma once

#include <string>
#include <string_view>

namespace quorvel::tools {

enum class ExistingFile { kKept, kReplaced };

// Writes `data` to `path` as a new file of mode 0600: the bytes go to a
// temporary file in the same folder, are synced, and the file then takes the
// name, so a reader never sees part of it and a failure leaves nothing behind.
// With kKept an existing file (or link) at `path` is left as it is and the
// write fails. False with `problem` set on failure.
bool WritePrivateFile(const std::string& path, std::string_view data, ExistingFile existing,
                      std::string& problem);

}  // namespace quorvel::tools
