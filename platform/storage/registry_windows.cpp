// The registry interface on the platform's own registry. HKEY_CLASSES_ROOT is
// the platform's merged view; changes are made one call at a time, as the
// platform's registry has no transactions its callers here rely on.
#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

#include "platform/storage/registry.h"
#include "platform/storage/registry_path.h"
#include "platform/text/case_fold.h"
#include "platform/text/code_page.h"

namespace quorvel::platform {

// The platform's registry needs no handle of its own.
class Database {};

namespace {

struct NativePath {
  HKEY root = nullptr;
  std::wstring subkey;  // empty for the root key itself
};

struct RootName {
  std::string_view name;
  HKEY root;
};

std::wstring Wide(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(const wchar_t* units, size_t length) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(units), length));
}

std::error_code Failure(LSTATUS status) {
  return {static_cast<int>(status), std::system_category()};
}

std::error_code Parse(std::string_view text, NativePath& path) {
  static const RootName kRoots[] = {
      {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKLM", HKEY_LOCAL_MACHINE},
      {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},   {"HKCU", HKEY_CURRENT_USER},
      {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {"HKCR", HKEY_CLASSES_ROOT},
  };
  const size_t separator = text.find('\\');
  const std::string_view rootName = text.substr(0, separator);
  const auto root = std::find_if(std::begin(kRoots), std::end(kRoots), [&](const RootName& r) {
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, r.name.data(),
                          static_cast<int>(r.name.size()), rootName.data(),
                          static_cast<int>(rootName.size())) == CSTR_EQUAL;
  });
  if (root == std::end(kRoots)) return RegistryErrc::kInvalidPath;
  path.root = root->root;
  path.subkey.clear();
  if (separator == std::string_view::npos) return {};
  std::string_view rest = text.substr(separator + 1);
  size_t depth = 0;
  while (true) {
    const size_t next = rest.find('\\');
    const std::string_view name = rest.substr(0, next);
    size_t units = 0;
    if (name.empty() || !UppercaseUtf8(name, nullptr, units) || units > kMaxKeyNameLength ||
        ++depth > kMaxKeyDepth) {
      return RegistryErrc::kInvalidPath;
    }
    if (!path.subkey.empty()) path.subkey += L'\\';
    path.subkey += Wide(name);
    if (next == std::string_view::npos) return {};
    rest.remove_prefix(next + 1);
  }
}

class OpenKey {
 public:
  OpenKey() = default;
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// Opens an existing key: kKeyNotFound when it is missing.
std::error_code Open(std::string_view keyPath, REGSAM access, OpenKey& key) {
  NativePath path;
  if (const std::error_code parsed = Parse(keyPath, path)) return parsed;
  const LSTATUS status = RegOpenKeyExW(path.root, path.subkey.c_str(), 0, access, key.out());
  if (status == ERROR_FILE_NOT_FOUND) return RegistryErrc::kKeyNotFound;
  return status == ERROR_SUCCESS ? std::error_code() : Failure(status);
}

std::error_code Create(std::string_view keyPath, REGSAM access, OpenKey& key) {
  NativePath path;
  if (const std::error_code parsed = Parse(keyPath, path)) return parsed;
  const LSTATUS status = RegCreateKeyExW(path.root, path.subkey.c_str(), 0, nullptr, 0, access,
                                         nullptr, key.out(), nullptr);
  return status == ERROR_SUCCESS ? std::error_code() : Failure(status);
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                        b.data(), static_cast<int>(b.size())) == CSTR_LESS_THAN;
}

}  // namespace

std::error_code Registry::CreateKey(std::string_view keyPath) {
  OpenKey key;
  return Create(keyPath, KEY_READ, key);
}

std::error_code Registry::KeyExists(std::string_view keyPath, bool& exists) {
  exists = false;
  OpenKey key;
  const std::error_code opened = Open(keyPath, KEY_READ, key);
  if (opened == RegistryErrc::kKeyNotFound) return {};
  exists = !opened;
  return opened;
}

std::error_code Registry::SetString(std::string_view keyPath, std::string_view valueName,
                                    std::string_view data) {
  if (const std::error_code bad = CheckValueName(valueName)) return bad;
  if (const std::error_code bad = CheckValueData(data)) return bad;
  OpenKey key;
  if (const std::error_code created = Create(keyPath, KEY_SET_VALUE, key)) return created;
  const std::wstring text = Wide(data);
  const LSTATUS status = RegSetValueExW(key.get(), Wide(valueName).c_str(), 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(text.c_str()),
                                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  return status == ERROR_SUCCESS ? std::error_code() : Failure(status);
}

std::error_code Registry::GetString(std::string_view keyPath, std::string_view valueName,
                                    std::string& data) {
  if (const std::error_code bad = CheckValueName(valueName)) return bad;
  OpenKey key;
  if (const std::error_code opened = Open(keyPath, KEY_QUERY_VALUE, key)) return opened;
  const std::wstring name = Wide(valueName);
  DWORD type = 0;
  DWORD size = 0;
  LSTATUS status = RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size);
  if (status == ERROR_FILE_NOT_FOUND) return RegistryErrc::kValueNotFound;
  if (status != ERROR_SUCCESS) return Failure(status);
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || size > kMaxValueDataBytes * 2) {
    return RegistryErrc::kInvalidData;
  }
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  status = RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                            reinterpret_cast<BYTE*>(text.data()), &size);
  if (status != ERROR_SUCCESS) return Failure(status);
  text.resize(std::min<size_t>(size / sizeof(wchar_t), text.size()));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  data = Narrow(text.data(), text.size());
  return {};
}

std::error_code Registry::DeleteValue(std::string_view keyPath, std::string_view valueName) {
  if (const std::error_code bad = CheckValueName(valueName)) return bad;
  OpenKey key;
  if (const std::error_code opened = Open(keyPath, KEY_SET_VALUE, key)) return opened;
  const LSTATUS status = RegDeleteValueW(key.get(), Wide(valueName).c_str());
  if (status == ERROR_FILE_NOT_FOUND) return RegistryErrc::kValueNotFound;
  return status == ERROR_SUCCESS ? std::error_code() : Failure(status);
}

std::error_code Registry::DeleteKey(std::string_view keyPath) {
  NativePath path;
  if (const std::error_code parsed = Parse(keyPath, path)) return parsed;
  if (path.subkey.empty()) return RegistryErrc::kPredefinedKey;
  const LSTATUS status = RegDeleteTreeW(path.root, path.subkey.c_str());
  if (status == ERROR_FILE_NOT_FOUND) return RegistryErrc::kKeyNotFound;
  return status == ERROR_SUCCESS ? std::error_code() : Failure(status);
}

std::error_code Registry::List(std::string_view keyPath, RegistryKeyListing& listing) {
  listing = {};
  OpenKey key;
  if (const std::error_code opened = Open(keyPath, KEY_READ, key)) return opened;
  wchar_t name[kMaxValueNameLength + 1];
  for (DWORD index = 0;; ++index) {
    DWORD length = kMaxKeyNameLength + 1;
    const LSTATUS status =
        RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) return Failure(status);
    listing.subkeys.push_back(Narrow(name, length));
  }
  for (DWORD index = 0;; ++index) {
    DWORD length = kMaxValueNameLength + 1;
    DWORD type = 0;
    const LSTATUS status =
        RegEnumValueW(key.get(), index, name, &length, nullptr, &type, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) return Failure(status);
    if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
    RegistryValue value{Narrow(name, length), {}};
    if (const std::error_code read = GetString(keyPath, value.name, value.data)) return read;
    listing.values.push_back(std::move(value));
  }
  std::sort(listing.subkeys.begin(), listing.subkeys.end(), LessIgnoringCase);
  std::sort(listing.values.begin(), listing.values.end(),
            [](const RegistryValue& a, const RegistryValue& b) {
              return LessIgnoringCase(a.name, b.name);
            });
  return {};
}

std::error_code TransactRegistry(const std::function<std::error_code(Registry&)>& body) {
  Database platformRegistry;
  Registry registry(platformRegistry);
  return body(registry);
}

std::error_code ReadRegistry(const std::function<std::error_code(Registry&)>& body) {
  return TransactRegistry(body);
}

}  // namespace quorvel::platform
