#include "files/save_directory.h"

#include <memory>
#include <new>

#include "platform/fileio/whole_file.h"
#include "platform/storage/registry.h"

namespace quorvel::files {

namespace {

SaveDirectoryStatus ReadSaveDirectory(platform::Registry& registry, std::string& directory) {
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
}

}  // namespace

SaveDirectoryStatus LookUpSaveDirectory(std::string& directory) {
  try {
    SaveDirectoryStatus status = SaveDirectoryStatus::kNoSettingsKey;
    if (platform::ReadRegistry([&](platform::Registry& registry) {
          status = ReadSaveDirectory(registry, directory);
          return std::error_code();
        })) {
      return SaveDirectoryStatus::kNoSettingsKey;
    }
    return status;
  } catch (const std::bad_alloc&) {
    return SaveDirectoryStatus::kNoMemory;
  }
}

std::string JoinSavePath(std::string_view directory, std::string_view fileName) {
  std::string path(directory);
  const std::string_view separators = platform::PathSeparators();
  if (!path.empty() && separators.find(path.back()) == std::string_view::npos) {
    path += separators.front();
  }
  path += fileName;
  return path;
}

}  // namespace quorvel::files
