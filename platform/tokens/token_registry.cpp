#include "platform/tokens/token_registry.h"

#include <strings.h>

namespace quorvel::platform {
namespace {

constexpr std::string_view kModuleValue = "Module";

std::string KeyOf(std::string_view label) {
  return std::string(kTokenModulesKey) + "\\" + std::string(label);
}

}  // namespace

std::error_code ReadTokenModules(Registry& registry, std::vector<TokenModuleEntry>& modules) {
  modules.clear();
  RegistryKeyListing listing;
  std::error_code ec = registry.List(kTokenModulesKey, listing);
  if (ec == RegistryErrc::kKeyNotFound) return {};
  if (ec) return ec;
  for (const std::string& label : listing.subkeys) {
    if (modules.size() == kMaxTokenModules) break;
    std::string path;
    ec = registry.GetString(KeyOf(label), kModuleValue, path);
    if (ec == RegistryErrc::kValueNotFound || ec == RegistryErrc::kKeyNotFound) continue;
    if (ec) return ec;
    modules.push_back({label, std::move(path)});
  }
  return {};
}

std::error_code WriteTokenModule(Registry& registry, const TokenModuleEntry& entry) {
  return registry.SetString(KeyOf(entry.label), kModuleValue, entry.path);
}

std::error_code DeleteTokenModule(Registry& registry, std::string_view name, bool& removed) {
  removed = false;
  std::vector<TokenModuleEntry> modules;
  if (std::error_code ec = ReadTokenModules(registry, modules)) return ec;
  for (const TokenModuleEntry& module : modules) {
    const bool sameLabel = module.label.size() == name.size() &&
                           ::strncasecmp(module.label.c_str(), name.data(), name.size()) == 0;
    if (!sameLabel && module.path != name) continue;
    if (std::error_code ec = registry.DeleteKey(KeyOf(module.label))) return ec;
    removed = true;
  }
  return {};
}

}  // namespace quorvel::platform
