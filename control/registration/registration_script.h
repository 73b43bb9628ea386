// What registering the module writes into HKEY_CLASSES_ROOT and what
// unregistering removes, on every platform.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/storage/registry.h"

namespace quorvel::registration {

struct RegistryEntry {
  std::string key;
  std::string name;  // empty for the key's default value
  std::string data;
};

// "HKCR\CLSID\{...}": written afresh by each registration.
std::string ClassKey();

// The keys and values of the class and its two programmatic identifiers,
// naming `modulePath` as the server and `stubPath` as the folder a server
// saves received files into.
std::vector<RegistryEntry> ClassRegistration(std::string_view modulePath,
                                             std::string_view stubPath);

// Deletes the class key, then writes its empty keys and `entries`.
std::error_code ApplyRegistration(platform::Registry& registry,
                                  const std::vector<RegistryEntry>& entries);

// Deletes `keys` (with what they hold); keys already gone are no failure.
std::error_code RemoveKeys(platform::Registry& registry, const std::vector<std::string>& keys);

// The keys unregistration removes besides the type library's: the two
// programmatic identifiers and the class key. The CLSID root key stays.
std::vector<std::string> RegisteredKeys();

}  // namespace quorvel::registration
