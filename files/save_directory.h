// The directory server mode saves received files into: the string value
// "stubPath" of the control's settings key in the registry.
#pragma once

#include <string>
#include <string_view>

namespace quorvel::files {

inline constexpr std::string_view kControlSettingsKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\"
    "{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}\\CtlSettings";
inline constexpr std::string_view kSaveDirectoryValue = "stubPath";

enum class SaveDirectoryStatus {
  kOk,
  kNoSettingsKey,  // the key is missing, or the registry cannot be opened
  kNoValue,        // the key has no "stubPath" value, or the value is empty
  kNoMemory,
};

// Reads the registered save directory, as given (UTF-8, not expanded).
SaveDirectoryStatus LookUpSaveDirectory(std::string& directory);

// `directory` followed by `fileName`, with the platform's separator between
// them unless the directory already ends with one of its separators.
std::string JoinSavePath(std::string_view directory, std::string_view fileName);

}  // namespace quorvel::files
