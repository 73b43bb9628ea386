// The PKCS#11 modules of the current user, kept in the registry stand-in under
// HKEY_CURRENT_USER\Software\Quorvel\Tokens: one key per module, named by the
// module's label, with the value "Module" holding its absolute path.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/storage/registry.h"

namespace quorvel::platform {

inline constexpr std::string_view kTokenModulesKey = "HKEY_CURRENT_USER\\Software\\Quorvel\\Tokens";
inline constexpr std::size_t kMaxTokenModules = 16;

struct TokenModuleEntry {
  std::string label;
  std::string path;
};

// The registered modules in label order, at most kMaxTokenModules; keys
// without a path are passed over.
std::error_code ReadTokenModules(Registry& registry, std::vector<TokenModuleEntry>& modules);

// Registers (or moves) the module `entry.label` to `entry.path`.
std::error_code WriteTokenModule(Registry& registry, const TokenModuleEntry& entry);

// Removes the module whose label (without regard to case) or path is `name`;
// `removed` says whether one was there.
std::error_code DeleteTokenModule(Registry& registry, std::string_view name, bool& removed);

}  // namespace quorvel::platform
