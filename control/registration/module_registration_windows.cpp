// Self-registration in the platform's registry: the class and its two
// programmatic identifiers through the same script as elsewhere, the
// interface and the type library through the platform's type library
// service; unregistration removes both and leaves the CLSID root key.
#include <windows.h>
// After windows.h, which it needs.
#include <oleauto.h>

#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <string>

#include "control/registration/com_abi.h"
#include "control/registration/identity.h"
#include "control/registration/module_file_windows.h"
#include "control/registration/registration_script.h"
#include "control/registration/type_library.h"
#include "platform/storage/registry.h"
#include "platform/text/code_page.h"

using namespace quorvel;
using namespace quorvel::registration;
using namespace quorvel::registration::abi;

namespace {

// The folder a server saves received files into, until an installation
// changes it.
constexpr std::string_view kDefaultStubPath = "c:\\quorvelStub\\";

int32_t WithRegistry(const std::function<std::error_code(platform::Registry&)>& body) {
  try {
    const std::error_code failed = platform::TransactRegistry(body);
    if (!failed) return hr::kOk;
    if (failed.category() == std::system_category()) return HRESULT_FROM_WIN32(failed.value());
    return hr::kFail;
  } catch (const std::bad_alloc&) {
    return hr::kOutOfMemory;
  }
}

GUID LibraryId() {
  GUID libid{};
  const std::optional<Guid> parsed = ParseGuid(kLibid);
  if (parsed) std::memcpy(&libid, &*parsed, sizeof libid);
  return libid;
}

}  // namespace

extern "C" HRESULT __stdcall DllRegisterServer() {
  const std::wstring module = ModuleFileName();
  if (module.empty()) return hr::kFail;
  try {
    const std::string modulePath =
        platform::Utf16ToUtf8(std::u16string(module.begin(), module.end()));
    const std::vector<RegistryEntry> entries = ClassRegistration(modulePath, kDefaultStubPath);
    if (const int32_t written = WithRegistry(
            [&](platform::Registry& registry) { return ApplyRegistration(registry, entries); });
        written != hr::kOk) {
      return written;
    }
  } catch (const std::bad_alloc&) {
    return hr::kOutOfMemory;
  }
  ITypeLib* library = nullptr;
  const HRESULT registered = LoadTypeLibEx(module.c_str(), REGKIND_REGISTER, &library);
  if (SUCCEEDED(registered)) library->Release();
  return registered;
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
  const HRESULT unregistered = UnRegisterTypeLib(LibraryId(), 1, 0, kTypeLibraryLocale, SYS_WIN32);
  if (FAILED(unregistered) && unregistered != TYPE_E_REGISTRYACCESS &&
      unregistered != TYPE_E_LIBNOTREGISTERED) {
    return unregistered;
  }
  try {
    const std::vector<std::string> keys = RegisteredKeys();
    return WithRegistry([&](platform::Registry& registry) { return RemoveKeys(registry, keys); });
  } catch (const std::bad_alloc&) {
    return hr::kOutOfMemory;
  }
}
