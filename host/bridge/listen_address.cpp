#include "host/bridge/listen_address.h"

#include <arpa/inet.h>

#include <charconv>

namespace quorvel::bridge {
namespace {

std::optional<uint16_t> ParsePort(std::string_view text) {
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > 65535) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(value);
}

bool IsLoopbackV4(const std::string& host) {
  in_addr address{};
  return ::inet_pton(AF_INET, host.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

bool IsLoopbackV6(const std::string& host) {
  in6_addr address{};
  return ::inet_pton(AF_INET6, host.c_str(), &address) == 1 && IN6_IS_ADDR_LOOPBACK(&address);
}

}  // namespace

std::optional<ListenAddress> ParseListenAddress(std::string_view text, std::string& error) {
  ListenAddress address;
  std::string_view host = text;
  std::optional<std::string_view> port;
  if (text.starts_with('[')) {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) {
      error = "an IPv6 address needs its closing ']'";
      return std::nullopt;
    }
    host = text.substr(1, close - 1);
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && !rest.starts_with(':')) {
      error = "expected ':PORT' after the address";
      return std::nullopt;
    }
    if (!rest.empty()) port = rest.substr(1);
  } else if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  if (port) {
    const auto parsed = ParsePort(*port);
    if (!parsed) {
      error = "the port must be a number from 0 to 65535";
      return std::nullopt;
    }
    address.port = *parsed;
  }
  address.host = host == "localhost" ? "127.0.0.1" : std::string(host);
  if (!IsLoopbackV4(address.host) && !IsLoopbackV6(address.host)) {
    error = "only a loopback address (127.0.0.1, [::1] or localhost) can be listened on, not '" +
            std::string(host) + "'";
    return std::nullopt;
  }
  if (IsLoopbackV6(address.host)) address.host = "::1";
  return address;
}

std::string AuthorityOf(const ListenAddress& address) {
  const std::string host =
      address.host.find(':') != std::string::npos ? "[" + address.host + "]" : address.host;
  return host + ":" + std::to_string(address.port);
}

}  // namespace quorvel::bridge
