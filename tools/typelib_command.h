// `quorvel typelib [--json]`: the control's type information, written from the
// member table: the library, the coclass, the dual interface and the event
// interface with their identifiers and help strings, and every member.
#pragma once

#include <CLI/CLI.hpp>

#include <iostream>

namespace quorvel::tools {

void AddTypelibCommand(CLI::App& app, std::ostream& out = std::cout);

}  // namespace quorvel::tools
