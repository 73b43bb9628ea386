#include "files/save_directory.h"

#include <memory>
#include <new>

#include "platform/storage/database.h"
#include "platform/storage/registry.h"

namespace quorvel::files {

SaveDirectoryStatus LookUpSaveDirectory(std::string& directory) {
  try {
    std::shared_ptr<platform::Database> database;
    if (platform::SharedDatabase(database)) return SaveDirectoryStatus::kNoSettingsKey;
    platform::Registry registry(*database);
    bool exists = false;
    if (registry.KeyExists(kControlSettingsKey, exists) || !exists) {
      return SaveDirectoryStatus::kNoSettingsKey;
    }
    std::string value;
    if (registry.GetString(kControlSettingsKey, kSaveDirectoryValue, value) || value.empty()) {
      return SaveDirectoryStatus::kNoValue;
    }
    directory = std::move(value);
    return SaveDirectoryStatus::kOk;
  } catch (const std::bad_alloc&) {
    return SaveDirectoryStatus::kNoMemory;
  }
}

std::string JoinSavePath(std::string_view directory, std::string_view fileName) {
  std::string path(directory);
  if (!path.empty() && path.back() != '/') path += '/';
  path += fileName;
  return path;
}

}  // namespace quorvel::files
