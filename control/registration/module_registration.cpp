// Self-registration of the module in the registry stand-in: the class, its
// two programmatic identifiers, the interface and the type library, with
// %MODULE% replaced by the module's absolute path; unregistration removes
// what registration marks for removal and leaves the CLSID root key.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <string>

#include "control/registration/com_abi.h"
#include "control/registration/identity.h"
#include "platform/storage/home.h"
#include "platform/storage/registry.h"

extern "C" int32_t DllRegisterServer();
extern "C" int32_t DllUnregisterServer();

namespace quorvel::registration::abi {
namespace {

const std::string kRoot = "HKCR\\";
const std::string kClassKey = kRoot + "CLSID\\" + std::string(kClsid);

std::string ModulePath() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) == 0 ||
      info.dli_fname == nullptr) {
    return {};
  }
  char resolved[PATH_MAX];
  return ::realpath(info.dli_fname, resolved) != nullptr ? std::string(resolved) : std::string();
}

struct Value {
  std::string key;  // below HKCR
  std::string name;
  std::string data;
};

int32_t WithRegistry(const std::function<std::error_code(platform::Registry&)>& body) {
  try {
    return platform::TransactRegistry(body) ? hr::kFail : hr::kOk;
  } catch (const std::bad_alloc&) {
    return hr::kOutOfMemory;
  }
}

}  // namespace
}  // namespace quorvel::registration::abi

using namespace quorvel;
using namespace quorvel::registration;
using namespace quorvel::registration::abi;

extern "C" int32_t DllRegisterServer() {
  const std::string module = ModulePath();
  if (module.empty()) return hr::kFail;
  std::filesystem::path home;
  if (platform::EnsureHome(home)) return hr::kFail;
  // This platform's default folder for files a server receives: inside the
  // platform home, ending in "/" as the setting's readers expect.
  const std::string stubPath = (home / "stub").string() + "/";
  const std::string description(kClassDescription);
  const std::string progId(kProgId);
  const std::string independent(kVersionIndependentProgId);
  const std::string clsid(kClsid);
  const std::string libid(kLibid);
  const std::string interfaceKey = kRoot + "Interface\\" + std::string(kInterfaceId);
  const std::string typeLibKey = kRoot + "TypeLib\\" + libid + "\\1.0";
  const Value values[] = {
      {kRoot + progId, "", description},
      {kRoot + progId + "\\CLSID", "", clsid},
      {kRoot + independent, "", description},
      {kRoot + independent + "\\CLSID", "", clsid},
      {kRoot + independent + "\\CurVer", "", progId},
      {kClassKey, "", description},
      {kClassKey + "\\ProgID", "", progId},
      {kClassKey + "\\VersionIndependentProgID", "", independent},
      {kClassKey + "\\InprocServer32", "", module},
      {kClassKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {kClassKey + "\\CtlSettings", "stubPath", stubPath},
      {kClassKey + "\\ToolboxBitmap32", "", module + ", 101"},
      {kClassKey + "\\MiscStatus", "", "0"},
      {kClassKey + "\\MiscStatus\\1", "", "131473"},
      {kClassKey + "\\TypeLib", "", libid},
      {kClassKey + "\\Version", "", "1.0"},
      {interfaceKey, "", "IVemlorDrennicQuorvel"},
      {interfaceKey + "\\TypeLib", "", libid},
      {typeLibKey, "", "VemlorQuorvel 2.0 Type Library"},
      {typeLibKey + "\\0\\linux64", "", module},
  };
  return WithRegistry([&](platform::Registry& registry) -> std::error_code {
    // The class key is written afresh.
    if (const std::error_code removed = registry.DeleteKey(kClassKey);
        removed && removed != platform::RegistryErrc::kKeyNotFound) {
      return removed;
    }
    for (const char* empty : {"\\Programmable", "\\Control", "\\Insertable"}) {
      if (const std::error_code created = registry.CreateKey(kClassKey + empty)) return created;
    }
    for (const Value& value : values) {
      if (const std::error_code set = registry.SetString(value.key, value.name, value.data)) {
        return set;
      }
    }
    return {};
  });
}

extern "C" int32_t DllUnregisterServer() {
  const std::string keys[] = {
      kRoot + std::string(kProgId),
      kRoot + std::string(kVersionIndependentProgId),
      kClassKey,
      kRoot + "Interface\\" + std::string(kInterfaceId),
      kRoot + "TypeLib\\" + std::string(kLibid),
  };
  return WithRegistry([&](platform::Registry& registry) -> std::error_code {
    for (const std::string& key : keys) {
      const std::error_code removed = registry.DeleteKey(key);
      if (removed && removed != platform::RegistryErrc::kKeyNotFound) return removed;
    }
    return {};
  });
}
