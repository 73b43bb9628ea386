#include "host/bridge/origins.h"

#include <functional>
#include <memory>

#include "platform/storage/database.h"
#include "platform/storage/registry.h"

namespace quorvel::bridge {
namespace {

constexpr std::string_view kAccessValue = "Access";
constexpr std::string_view kLocalFilesValue = "LocalFiles";

std::string KeyOf(const std::string& origin) {
  return std::string(kOriginsKey) + "\\" + origin;
}

// A connection of its own for each decision: the bridge is a long-lived
// process, and what `quorvel host allow|deny` changes must reach its next
// handshake whatever else the process's shared connection has been doing.
std::error_code WithRegistry(const std::function<std::error_code(platform::Registry&)>& action) {
  std::shared_ptr<platform::Database> shared;
  if (const std::error_code ec = platform::SharedDatabase(shared)) return ec;
  std::unique_ptr<platform::Database> database;
  if (const std::error_code ec = platform::Database::Open(shared->file(), database)) return ec;
  platform::Registry registry(*database);
  return action(registry);
}

OriginAccess AccessOf(const std::string& text) {
  if (text == "allow") return OriginAccess::kAllowed;
  if (text == "deny") return OriginAccess::kDenied;
  return OriginAccess::kUnknown;
}

std::error_code Read(platform::Registry& registry, const std::string& origin, OriginEntry& entry) {
  entry = {origin, OriginAccess::kUnknown, false};
  std::string access;
  std::error_code ec = registry.GetString(KeyOf(origin), kAccessValue, access);
  if (ec == platform::RegistryErrc::kKeyNotFound || ec == platform::RegistryErrc::kValueNotFound) {
    return {};
  }
  if (ec) return ec;
  entry.access = AccessOf(access);
  std::string localFiles;
  ec = registry.GetString(KeyOf(origin), kLocalFilesValue, localFiles);
  if (ec && ec != platform::RegistryErrc::kValueNotFound) return ec;
  entry.localFiles = entry.access == OriginAccess::kAllowed && localFiles == "1";
  return {};
}

}  // namespace

std::error_code LookUpOrigin(const std::string& origin, OriginEntry& entry) {
  return WithRegistry([&](platform::Registry& registry) { return Read(registry, origin, entry); });
}

std::error_code AllowOrigin(const std::string& origin, bool localFiles) {
  return WithRegistry([&](platform::Registry& registry) {
    if (std::error_code ec = registry.SetString(KeyOf(origin), kAccessValue, "allow")) return ec;
    if (localFiles) return registry.SetString(KeyOf(origin), kLocalFilesValue, "1");
    const std::error_code ec = registry.DeleteValue(KeyOf(origin), kLocalFilesValue);
    return ec == platform::RegistryErrc::kValueNotFound ? std::error_code() : ec;
  });
}

std::error_code DenyOrigin(const std::string& origin) {
  return WithRegistry([&](platform::Registry& registry) {
    if (std::error_code ec = registry.SetString(KeyOf(origin), kAccessValue, "deny")) return ec;
    const std::error_code ec = registry.DeleteValue(KeyOf(origin), kLocalFilesValue);
    return ec == platform::RegistryErrc::kValueNotFound ? std::error_code() : ec;
  });
}

std::error_code ListOrigins(std::vector<OriginEntry>& entries) {
  entries.clear();
  return WithRegistry([&](platform::Registry& registry) {
    platform::RegistryKeyListing listing;
    std::error_code ec = registry.List(std::string(kOriginsKey), listing);
    if (ec == platform::RegistryErrc::kKeyNotFound) return std::error_code();
    if (ec) return ec;
    for (const std::string& name : listing.subkeys) {
      OriginEntry entry;
      if ((ec = Read(registry, name, entry))) return ec;
      entries.push_back(std::move(entry));
    }
    return std::error_code();
  });
}

}  // namespace quorvel::bridge
