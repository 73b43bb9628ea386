// The head of an HTTP/1.1 request as a browser sends it to the bridge: for a
// WebSocket handshake or for a page of the demo. Parsed from bytes peeked off
// the socket, bounded before anything is kept.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel::bridge {

inline constexpr size_t kMaxRequestHeadBytes = 16 * 1024;
inline constexpr size_t kMaxRequestHeaders = 64;

struct RequestHead {
  std::string method;
  std::string target;
  std::vector<std::pair<std::string, std::string>> headers;  // names in lower case

  // The value of the header `name` (lower case); nullopt when it is missing.
  // A header sent more than once makes the head malformed instead.
  std::optional<std::string> Header(std::string_view name) const;
  bool IsWebSocketUpgrade() const;
};

enum class HeadStatus { kIncomplete, kComplete, kMalformed, kTooLarge };

// Parses the head at the start of `bytes`; on kComplete `headLength` is the
// number of bytes up to and including the blank line.
HeadStatus ParseRequestHead(std::string_view bytes, RequestHead& head, size_t& headLength);

}  // namespace quorvel::bridge
