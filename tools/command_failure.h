// What the `quorvel` subcommands share to end with a message: a failure with
// its exit status, reported on the error stream, and bytes shown as hex.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "platform/text/hex.h"

namespace quorvel::tools {

struct Failure {
  int exitCode = 0;
  std::string message;
};

// Lower-case hex, two digits a byte.
inline std::string Hex(std::span<const uint8_t> bytes) {
  return platform::LowerHex(bytes);
}

// Reports `failure`, if any, as "quorvel COMMAND: message" and ends the
// command with its exit status.
inline void Finish(std::string_view command, const std::optional<Failure>& failure,
                   std::ostream& err) {
  if (!failure) return;
  err << "quorvel " << command << ": " << failure->message << "\n";
  throw CLI::RuntimeError(failure->exitCode);
}

}  // namespace quorvel::tools
