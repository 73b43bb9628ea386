#include "platform/tokens/token_location.h"

#include <array>
#include <utility>

namespace quorvel::platform {
namespace {

constexpr char kScheme[] = "pkcs11:";
constexpr char kHex[] = "0123456789ABCDEF";

bool Unreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

// Percent-encodes every byte but the unreserved ones; `keepSlash` leaves "/"
// as it is, which a query's path value may hold.
void Append(std::string& out, std::string_view bytes, bool keepSlash) {
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    if (Unreserved(c) || (keepSlash && c == '/')) {
      out += byte;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> Decode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high << 4 | low);
    i += 2;
  }
  return out;
}

// Calls `take(name, value)` for each "name=value" of `list` split at `separator`.
template <typename Take>
bool ForEachAttribute(std::string_view list, char separator, Take take) {
  while (!list.empty()) {
    const std::size_t end = list.find(separator);
    const std::string_view attribute = list.substr(0, end);
    const std::size_t equals = attribute.find('=');
    if (equals == std::string_view::npos) return false;
    std::optional<std::string> value = Decode(attribute.substr(equals + 1));
    if (!value || !take(attribute.substr(0, equals), *value)) return false;
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return true;
}

}  // namespace

std::string FormatTokenUri(const TokenKeyLocation& location) {
  std::string uri = kScheme;
  uri += "token=";
  Append(uri, location.tokenLabel, false);
  uri += ";serial=";
  Append(uri, location.serial, false);
  uri += ";id=";
  // The id is binary: every byte escaped, as RFC 7512 writes ids.
  for (const uint8_t byte : location.id) {
    uri += '%';
    uri += kHex[byte >> 4];
    uri += kHex[byte & 0x0F];
  }
  uri += ";type=private?module-path=";
  Append(uri, location.modulePath, true);
  return uri;
}

std::optional<TokenKeyLocation> ParseTokenUri(std::string_view uri) {
  if (uri.size() > kMaxTokenUri || uri.substr(0, sizeof kScheme - 1) != kScheme) {
    return std::nullopt;
  }
  uri.remove_prefix(sizeof kScheme - 1);
  const std::size_t query = uri.find('?');
  const std::string_view path = uri.substr(0, query);
  const std::string_view queryPart =
      query == std::string_view::npos ? std::string_view() : uri.substr(query + 1);

  TokenKeyLocation location;
  std::array<bool, 5> seen{};
  auto once = [&](std::size_t which) { return !std::exchange(seen[which], true); };
  const bool pathOk = ForEachAttribute(path, ';', [&](std::string_view name, std::string& value) {
    if (name == "token") {
      location.tokenLabel = std::move(value);
      return once(0);
    }
    if (name == "serial") {
      location.serial = std::move(value);
      return once(1);
    }
    if (name == "id") {
      location.id.assign(value.begin(), value.end());
      return once(2);
    }
    if (name == "type") return value == "private" && once(3);
    return false;
  });
  const bool queryOk =
      ForEachAttribute(queryPart, '&', [&](std::string_view name, std::string& value) {
        if (name != "module-path") return false;
        location.modulePath = std::move(value);
        return once(4);
      });
  if (!pathOk || !queryOk || location.serial.empty() || location.id.empty() ||
      location.id.size() > kMaxTokenObjectId || location.modulePath.empty() ||
      location.modulePath.front() != '/') {
    return std::nullopt;
  }
  return location;
}

}  // namespace quorvel::platform
