// `quorvel token`: the PKCS#11 modules whose tokens join the "MY" store.
//
//   quorvel token add MODULE [--label L]   registers the module (an absolute
//       path to a PKCS#11 library, loaded once to check it is one); the label
//       defaults to the file's name without its extension
//   quorvel token list [--json]            every module with its tokens and the
//       certificates on them
//   quorvel token remove NAME              forgets the module of that label or path
//
// Exit status: 0 on success, 1 when `remove` finds nothing, 2 for a module
// that cannot be loaded or a bad argument, 3 when the home cannot be used.
#pragma once

#include <CLI/CLI.hpp>

#include <iostream>

namespace quorvel::tools {

void AddTokenCommand(CLI::App& app, std::ostream& out = std::cout, std::ostream& err = std::cerr);

}  // namespace quorvel::tools
