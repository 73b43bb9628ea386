// Test support: runs `quorvel` subcommands in-process, parsing arguments as the
// command line does, and collects what they print and their exit code.
#pragma once

#include <CLI/CLI.hpp>

#include <algorithm>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace quorvel::tools::cli_test {

struct Outcome {
  int exitCode = 0;
  std::string out;
  std::string err;
};

using AddCommand = void (*)(CLI::App&, std::ostream&, std::ostream&);

// Parses `arguments` (without the program name) with the subcommands that
// `adders` add, writing to private streams.
template <typename... Adders>
Outcome RunInProcess(std::vector<std::string> arguments, Adders... adders) {
  std::ostringstream out;
  std::ostringstream err;
  CLI::App app{"test", "quorvel"};
  app.require_subcommand(1);
  (static_cast<AddCommand>(adders)(app, out, err), ...);
  Outcome outcome;
  std::reverse(arguments.begin(), arguments.end());
  try {
    app.parse(arguments);
  } catch (const CLI::ParseError& e) {
    outcome.exitCode = app.exit(e, out, err);
  }
  outcome.out = out.str();
  outcome.err = err.str();
  return outcome;
}

}  // namespace quorvel::tools::cli_test
