#include <windows.h>
// After windows.h, which it needs.
#include <oleauto.h>

#include <cstring>
#include <string>

#include "control/registration/com_abi.h"
#include "control/registration/dispatch.h"
#include "control/registration/module_file_windows.h"
#include "control/registration/module_platform.h"
#include "platform/ui/windows/windows_ui.h"

namespace quorvel::registration::abi {

std::wstring ModuleFileName() {
  HMODULE module = nullptr;
  if (GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ModuleFileName), &module) == 0) {
    return {};
  }
  std::wstring path(MAX_PATH, L'\0');
  while (path.size() <= 32768) {
    const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
  return {};
}

void InstallDesktopUi() {
  platform::windows::InstallWindowsUi();
}

// The type library is the module's resource 1.
uint32_t TypeInfoCount() {
  return 1;
}

int32_t ControlTypeInfo(uint32_t, void** info) {
  const std::wstring path = ModuleFileName();
  if (path.empty()) return hr::kFail;
  ITypeLib* library = nullptr;
  HRESULT result = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
  if (FAILED(result)) return result;
  static_assert(sizeof(Guid) == sizeof(GUID));
  GUID interfaceId;
  std::memcpy(&interfaceId, &kIidControl, sizeof interfaceId);
  ITypeInfo* typeInfo = nullptr;
  result = library->GetTypeInfoOfGuid(interfaceId, &typeInfo);
  library->Release();
  if (FAILED(result)) return result;
  *info = typeInfo;
  return hr::kOk;
}

}  // namespace quorvel::registration::abi
