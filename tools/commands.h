// Subcommands of the `quorvel` command, each added to the application by its
// own function.
#pragma once

#include <CLI/CLI.hpp>

namespace quorvel::tools {

void AddHostCommand(CLI::App& app);

}  // namespace quorvel::tools
