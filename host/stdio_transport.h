// The stdio transport: one JSON message per line in each direction.
#pragma once

#include <cstddef>
#include <istream>
#include <ostream>

#include "host/rpc_session.h"

namespace quorvel::host {

// Large enough for Base64 of big signed files; a longer line is answered with
// an error and skipped without being held in memory.
inline constexpr size_t kDefaultMaxLineBytes = size_t{64} << 20;

// Serve requests until end of input. Each response is written as one line
// and flushed before the next request is read.
void ServeStream(std::istream& in, std::ostream& out, RpcSession& session,
                 size_t maxLineBytes = kDefaultMaxLineBytes);
void ServeDescriptor(int fd, std::ostream& out, RpcSession& session,
                     size_t maxLineBytes = kDefaultMaxLineBytes);

// Asks for a pipe of 1 MiB where `fd` is a pipe, so that a long request or
// answer crosses in fewer turns between the two processes; anything else, or
// a refusal (the system's limits), leaves it as it is.
void EnlargePipe(int fd);

}  // namespace quorvel::host
