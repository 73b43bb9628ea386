// `quorvel register [--module PATH]` and `quorvel unregister [--module PATH]`:
// load the module and call its own DllRegisterServer or DllUnregisterServer,
// which write to or remove from the registry stand-in of the platform home.
// Without --module the module installed beside the command
// (in the installation's library folder) is used, else the one of the build
// tree.
#pragma once

#include <CLI/CLI.hpp>

namespace quorvel::tools {

void AddRegisterCommands(CLI::App& app);

}  // namespace quorvel::tools
