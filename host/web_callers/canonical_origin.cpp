#include <algorithm>
#include <string>

#include "host/web_callers/origins.h"

namespace quorvel::web {
namespace {

constexpr size_t kMaxOriginLength = 200;

bool IsSchemeChar(char c, bool first) {
  if (c >= 'a' && c <= 'z') return true;
  return !first && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.');
}

// Letters, digits and the characters of host names, IPv6 literals and ports;
// nothing that could start a path, query, fragment or user name.
bool IsAuthorityChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':' ||
         c == '[' || c == ']' || c == '_';
}

bool IsDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Splits an authority into its host, an IPv6 literal in brackets or a name
// without any, and its port, digits after the one colon that follows the
// host (empty when there is none). False for anything else, so that a port is
// only ever what follows the host.
bool SplitAuthority(std::string_view authority, std::string_view& host, std::string_view& port) {
  size_t hostEnd = 0;
  if (authority.starts_with('[')) {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos || close == 1) return false;
    hostEnd = close + 1;
    if (authority.substr(1, close - 1).find('[') != std::string_view::npos) return false;
  } else {
    hostEnd = std::min(authority.find(':'), authority.size());
    if (authority.substr(0, hostEnd).find_first_of("[]") != std::string_view::npos) return false;
  }
  host = authority.substr(0, hostEnd);
  port = {};
  if (host.empty()) return false;
  if (hostEnd == authority.size()) return true;
  if (authority[hostEnd] != ':') return false;
  port = authority.substr(hostEnd + 1);
  return IsDigits(port);
}

}  // namespace

std::optional<std::string> CanonicalOrigin(std::string_view text) {
  if (text.size() > kMaxOriginLength) return std::nullopt;
  std::string origin;
  for (char c : text) origin += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  if (origin.ends_with('/')) origin.pop_back();
  const size_t separator = origin.find("://");
  if (separator == std::string::npos || separator == 0) return std::nullopt;
  for (size_t i = 0; i < separator; ++i) {
    if (!IsSchemeChar(origin[i], i == 0)) return std::nullopt;
  }
  const std::string_view authority = std::string_view(origin).substr(separator + 3);
  for (char c : authority) {
    if (!IsAuthorityChar(c)) return std::nullopt;
  }
  std::string_view host;
  std::string_view port;
  if (!SplitAuthority(authority, host, port)) return std::nullopt;
  // Browsers leave out the scheme's default port; so does the stored form.
  const std::string_view scheme = std::string_view(origin).substr(0, separator);
  if ((scheme == "http" && port == "80") || (scheme == "https" && port == "443")) {
    origin.resize(separator + 3 + host.size());
  }
  return origin;
}

}  // namespace quorvel::web
