// Who is at the other end of a loopback TCP connection. Every program of
// every user on this machine can reach a loopback port; only the user the
// bridge runs for may use it. The kernel knows which user owns the client's
// socket: its socket tables say, through the sock_diag netlink interface.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <optional>

namespace quorvel::bridge {

struct TcpEndpoint {
  bool ipv6 = false;
  std::array<uint8_t, 16> address{};  // network order; IPv4 in the first four bytes
  uint16_t port = 0;                  // host order
};

// The user owning the TCP socket whose local end is `client` and whose remote
// end is `server`, both on this machine; nullopt when the kernel does not say
// (no such socket, or no sock_diag support).
std::optional<uid_t> LocalPeerOwner(const TcpEndpoint& client, const TcpEndpoint& server);

}  // namespace quorvel::bridge
