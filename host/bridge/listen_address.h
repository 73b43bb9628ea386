// The addresses the bridge may listen on: loopback only, so that nothing but
// this machine's own browsers and programs can reach the signing keys.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::bridge {

inline constexpr uint16_t kDefaultPort = 27455;

struct ListenAddress {
  std::string host;              // "127.0.0.1" (or another 127/8 address) or "::1"
  uint16_t port = kDefaultPort;  // 0: any free port
};

// Parses "127.0.0.1:PORT", "[::1]:PORT", "localhost:PORT" or any of these
// without ":PORT" (the default port). Anything else, and any address that is
// not loopback, gives nullopt and the reason in `error`.
std::optional<ListenAddress> ParseListenAddress(std::string_view text, std::string& error);

// "127.0.0.1:27455" or "[::1]:27455", as in a URL.
std::string AuthorityOf(const ListenAddress& address);

}  // namespace quorvel::bridge
