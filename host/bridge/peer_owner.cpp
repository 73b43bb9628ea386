#include "host/bridge/peer_owner.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/fileio/unique_fd.h"

namespace quorvel::bridge {
namespace {

void Fill(const TcpEndpoint& endpoint, __be16& port, __be32 (&address)[4]) {
  port = htons(endpoint.port);
  std::memcpy(address, endpoint.address.data(), endpoint.ipv6 ? 16 : 4);
}

}  // namespace

std::optional<uid_t> LocalPeerOwner(const TcpEndpoint& client, const TcpEndpoint& server) {
  if (client.ipv6 != server.ipv6) return std::nullopt;
  const platform::UniqueFd netlink(
      ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (netlink.get() < 0) return std::nullopt;
  const timeval timeout{1, 0};
  ::setsockopt(netlink.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } message{};
  message.header.nlmsg_len = sizeof message;
  message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.header.nlmsg_flags = NLM_F_REQUEST;
  message.header.nlmsg_seq = 1;
  message.request.sdiag_family = client.ipv6 ? AF_INET6 : AF_INET;
  message.request.sdiag_protocol = IPPROTO_TCP;
  message.request.idiag_states = ~0u;
  Fill(client, message.request.id.idiag_sport, message.request.id.idiag_src);
  Fill(server, message.request.id.idiag_dport, message.request.id.idiag_dst);
  message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
  message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(netlink.get(), &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof kernel) != static_cast<ssize_t>(sizeof message)) {
    return std::nullopt;
  }
  alignas(nlmsghdr) char buffer[8192];
  ssize_t received;
  do {
    received = ::recv(netlink.get(), buffer, sizeof buffer, 0);
  } while (received < 0 && errno == EINTR);
  if (received <= 0) return std::nullopt;
  auto remaining = static_cast<unsigned>(received);
  for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, remaining);
       header = NLMSG_NEXT(header, remaining)) {
    if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY) return std::nullopt;
    if (header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) return std::nullopt;
    // The message after its header, as NLMSG_DATA finds it (without the
    // macro's C casts), copied out so that its alignment does not matter.
    inet_diag_msg found{};
    std::memcpy(&found, reinterpret_cast<const char*>(header) + NLMSG_ALIGN(sizeof(nlmsghdr)),
                sizeof found);
    if (found.id.idiag_sport != htons(client.port) || found.id.idiag_dport != htons(server.port)) {
      continue;
    }
    return static_cast<uid_t>(found.idiag_uid);
  }
  return std::nullopt;
}

}  // namespace quorvel::bridge
