// The platform home: the one directory under which everything the platform keeps
// per user lives. It is `$QUORVEL_HOME` when set and not empty, otherwise
// `${XDG_DATA_HOME:-$HOME/.local/share}/quorvel`.
#pragma once

#include <filesystem>
#include <system_error>

namespace quorvel::platform {

// Works out the home directory from the environment without touching the disk.
std::error_code ResolveHome(std::filesystem::path& home);

// Resolves the home and makes sure it exists as a directory with mode 0700,
// creating missing parents (0700) and tightening the mode of an existing home.
std::error_code EnsureHome(std::filesystem::path& home);

}  // namespace quorvel::platform
