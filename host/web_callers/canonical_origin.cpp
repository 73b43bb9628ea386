#include <cstring>
#include <string>
#include <utility>

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
  if (authority.empty() || authority.starts_with(':')) return std::nullopt;
  for (char c : authority) {
    if (!IsAuthorityChar(c)) return std::nullopt;
  }
  // Browsers leave out the scheme's default port; so does the stored form.
  const std::string_view scheme = std::string_view(origin).substr(0, separator);
  for (const auto& [name, port] : {std::pair{"http", ":80"}, std::pair{"https", ":443"}}) {
    if (scheme == name && authority.ends_with(port) && authority.size() > std::strlen(port) &&
        authority[authority.size() - std::strlen(port) - 1] != ':') {
      origin.resize(origin.size() - std::strlen(port));
    }
  }
  return origin;
}

}  // namespace quorvel::web
