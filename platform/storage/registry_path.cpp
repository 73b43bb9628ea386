#include "platform/storage/registry_path.h"

#include <cstdint>

#include "platform/text/case_fold.h"

namespace quorvel::platform {
namespace {

class RegistryCategoryImpl : public std::error_category {
 public:
  const char* name() const noexcept override { return "quorvel.registry"; }
  std::string message(int condition) const override {
    switch (static_cast<RegistryErrc>(condition)) {
      case RegistryErrc::kKeyNotFound:
        return "the registry key does not exist";
      case RegistryErrc::kValueNotFound:
        return "the registry value does not exist";
      case RegistryErrc::kInvalidPath:
        return "not a valid registry key path";
      case RegistryErrc::kInvalidName:
        return "not a valid registry value name";
      case RegistryErrc::kInvalidData:
        return "not valid registry value data";
      case RegistryErrc::kPredefinedKey:
        return "a predefined registry key cannot be deleted";
    }
    return "unknown registry error";
  }
};

struct RootSpelling {
  std::string_view name;
  RootKey root;
  bool classesView;
};

constexpr RootSpelling kRoots[] = {
    {"HKEY_LOCAL_MACHINE", RootKey::kLocalMachine, false}, {"HKLM", RootKey::kLocalMachine, false},
    {"HKEY_CURRENT_USER", RootKey::kCurrentUser, false},   {"HKCU", RootKey::kCurrentUser, false},
    {"HKEY_CLASSES_ROOT", RootKey::kLocalMachine, true},   {"HKCR", RootKey::kLocalMachine, true},
};

}  // namespace

const std::error_category& RegistryCategory() {
  static const RegistryCategoryImpl category;
  return category;
}

std::error_code make_error_code(RegistryErrc error) {
  return {static_cast<int>(error), RegistryCategory()};
}

bool FoldName(std::string_view name, std::string& folded) {
  std::size_t ignored = 0;
  return UppercaseUtf8(name, &folded, ignored);
}

std::error_code ParseKeyPath(std::string_view text, KeyPath& path) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\\', start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  if (parts.size() > kMaxKeyDepth + 1) return RegistryErrc::kInvalidPath;

  std::string rootName;
  if (!FoldName(parts.front(), rootName)) return RegistryErrc::kInvalidPath;
  const RootSpelling* root = nullptr;
  for (const RootSpelling& spelling : kRoots) {
    if (spelling.name == rootName) root = &spelling;
  }
  if (root == nullptr) return RegistryErrc::kInvalidPath;

  KeyPath parsed;
  parsed.root = root->root;
  if (root->classesView) parsed.names = {"SOFTWARE", "Classes"};
  for (std::size_t i = 1; i < parts.size(); ++i) {
    std::size_t length = 0;
    if (parts[i].empty() || !UppercaseUtf8(parts[i], nullptr, length) ||
        length > kMaxKeyNameLength) {
      return RegistryErrc::kInvalidPath;
    }
    parsed.names.emplace_back(parts[i]);
  }
  if (parsed.names.size() > kMaxKeyDepth) return RegistryErrc::kInvalidPath;
  path = std::move(parsed);
  return {};
}

std::error_code CheckValueName(std::string_view name) {
  std::size_t length = 0;
  if (!UppercaseUtf8(name, nullptr, length) || length > kMaxValueNameLength) {
    return RegistryErrc::kInvalidName;
  }
  return {};
}

std::error_code CheckValueData(std::string_view data) {
  std::size_t length = 0;
  if (data.size() > kMaxValueDataBytes || !UppercaseUtf8(data, nullptr, length)) {
    return RegistryErrc::kInvalidData;
  }
  return {};
}

bool IsPredefinedKey(const KeyPath& path) {
  if (path.names.empty()) return true;
  if (path.root != RootKey::kLocalMachine || path.names.size() > 2) return false;
  constexpr std::string_view kClassesKey[] = {"SOFTWARE", "CLASSES"};
  for (std::size_t i = 0; i < path.names.size(); ++i) {
    std::string folded;
    if (!FoldName(path.names[i], folded) || folded != kClassesKey[i]) return false;
  }
  return true;
}

}  // namespace quorvel::platform
