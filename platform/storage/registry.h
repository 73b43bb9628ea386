// The registry stand-in: a tree of keys holding named string values, kept in the
// home database. Key paths and names follow registry_path.h; a value with the
// empty name is the key's default value. Every change is one transaction; wrap
// several calls in Database::Transact (or use TransactRegistry) to make them
// atomic together.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/storage/registry_path.h"

namespace quorvel::platform {

class Database;

struct RegistryValue {
  std::string name;
  std::string data;
};

struct RegistryKeyListing {
  std::vector<std::string> subkeys;   // names as created, in case-insensitive order
  std::vector<RegistryValue> values;  // likewise; the default value (empty name) first
};

class Registry {
 public:
  explicit Registry(Database& database) : database_(database) {}

  // Creates the key and any missing keys above it.
  std::error_code CreateKey(std::string_view keyPath);
  std::error_code KeyExists(std::string_view keyPath, bool& exists);
  // Creates the key when it is missing; an existing value keeps the spelling of its name.
  std::error_code SetString(std::string_view keyPath, std::string_view valueName,
                            std::string_view data);
  std::error_code GetString(std::string_view keyPath, std::string_view valueName,
                            std::string& data);
  std::error_code DeleteValue(std::string_view keyPath, std::string_view valueName);
  // Deletes the key with all its subkeys and values.
  std::error_code DeleteKey(std::string_view keyPath);
  std::error_code List(std::string_view keyPath, RegistryKeyListing& listing);

 private:
  Database& database_;
};

// Runs `body` on the registry of the shared home database in one transaction:
// committed when it returns no error, rolled back otherwise.
std::error_code TransactRegistry(const std::function<std::error_code(Registry&)>& body);
// Runs `body` on that registry in one read transaction.
std::error_code ReadRegistry(const std::function<std::error_code(Registry&)>& body);

}  // namespace quorvel::platform
