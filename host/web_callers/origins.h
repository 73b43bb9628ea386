// Web origins and what each may do, kept in the registry stand-in under
// HKEY_CURRENT_USER\Software\Quorvel\Bridge\Origins: one key per origin with
// the value "Access" ("allow" or "deny") and, for origins trusted with local
// file names, "LocalFiles" = "1".
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace quorvel::web {

inline constexpr std::string_view kOriginsKey =
    "HKEY_CURRENT_USER\\Software\\Quorvel\\Bridge\\Origins";

// An origin as browsers serialise it: scheme "://" host [":" port], lower
// case, without a trailing "/" and without the scheme's default port. Nullopt for "null", for
// anything with a path, query, user name or white space, and for more than 200 characters.
std::optional<std::string> CanonicalOrigin(std::string_view text);

enum class OriginAccess { kUnknown, kAllowed, kDenied };

struct OriginEntry {
  std::string origin;
  OriginAccess access = OriginAccess::kUnknown;
  bool localFiles = false;
};

// Reads and writes the origins in the home's registry; every call opens the
// shared database, so changes made by `quorvel host allow` while a bridge runs
// take effect on its next handshake.
std::error_code LookUpOrigin(const std::string& origin, OriginEntry& entry);
std::error_code AllowOrigin(const std::string& origin, bool localFiles);
std::error_code DenyOrigin(const std::string& origin);
std::error_code ListOrigins(std::vector<OriginEntry>& entries);

// The origins as a long-lived process reads them at every handshake and call:
// what was read is kept while the database's files stay as they were (a
// commit of any process changes them), and for a second at most.
class OriginList {
 public:
  OriginList();
  ~OriginList();
  OriginList(const OriginList&) = delete;
  OriginList& operator=(const OriginList&) = delete;

  std::error_code LookUp(const std::string& origin, OriginEntry& entry);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quorvel::web
