// Names and paths of the registry. A key path is a root key followed by key names,
// separated by backslashes: HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID. The root
// keys are HKEY_LOCAL_MACHINE (HKLM), HKEY_CURRENT_USER (HKCU) and
// HKEY_CLASSES_ROOT (HKCR), the last being a view of
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes. Names are UTF-8 and compared without
// regard to case, as the platform's registry compares them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace quorvel::platform {

enum class RegistryErrc {
  kKeyNotFound = 1,
  kValueNotFound,
  kInvalidPath,    // no known root key, an empty or overlong key name, too deep
  kInvalidName,    // a value name that is ill-formed UTF-8, holds NUL or is too long
  kInvalidData,    // value data that is ill-formed UTF-8, holds NUL or is too long
  kPredefinedKey,  // a root key or the key behind HKEY_CLASSES_ROOT cannot be deleted
};

const std::error_category& RegistryCategory();
std::error_code make_error_code(RegistryErrc error);

// Limits of the platform's registry.
inline constexpr std::size_t kMaxKeyNameLength = 255;      // UTF-16 code units
inline constexpr std::size_t kMaxValueNameLength = 16383;  // UTF-16 code units
inline constexpr std::size_t kMaxKeyDepth = 512;
inline constexpr std::size_t kMaxValueDataBytes = std::size_t{1} << 20;

// Row ids of the root keys in the database.
enum class RootKey : std::int64_t { kLocalMachine = 1, kCurrentUser = 2 };

struct KeyPath {
  RootKey root = RootKey::kLocalMachine;
  std::vector<std::string> names;  // below the root; HKCR paths start with SOFTWARE, Classes
};

std::error_code ParseKeyPath(std::string_view text, KeyPath& path);

// The spelling under which a name is compared. False for ill-formed UTF-8 or NUL.
bool FoldName(std::string_view name, std::string& folded);

std::error_code CheckValueName(std::string_view name);
std::error_code CheckValueData(std::string_view data);

// True for the root keys and for the keys that HKEY_CLASSES_ROOT depends on.
bool IsPredefinedKey(const KeyPath& path);

}  // namespace quorvel::platform

template <>
struct std::is_error_code_enum<quorvel::platform::RegistryErrc> : std::true_type {};
