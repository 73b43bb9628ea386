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
#include "control/registration/registration_script.h"
#include "platform/storage/home.h"
#include "platform/storage/registry.h"

extern "C" int32_t QUORVEL_COM_CALL DllRegisterServer();
extern "C" int32_t QUORVEL_COM_CALL DllUnregisterServer();

namespace quorvel::registration::abi {
namespace {

const std::string kRoot = "HKCR\\";

std::string ModulePath() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) == 0 ||
      info.dli_fname == nullptr) {
    return {};
  }
  char resolved[PATH_MAX];
  return ::realpath(info.dli_fname, resolved) != nullptr ? std::string(resolved) : std::string();
}

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

extern "C" int32_t QUORVEL_COM_CALL DllRegisterServer() {
  const std::string module = ModulePath();
  if (module.empty()) return hr::kFail;
  std::filesystem::path home;
  if (platform::EnsureHome(home)) return hr::kFail;
  // This platform's default folder for files a server receives: inside the
  // platform home, ending in "/" as the setting's readers expect.
  const std::string stubPath = (home / "stub").string() + "/";
  // No type library service here: its keys are written with the class's.
  std::vector<RegistryEntry> entries = ClassRegistration(module, stubPath);
  const std::string libid(kLibid);
  const std::string interfaceKey = kRoot + "Interface\\" + std::string(kInterfaceId);
  const std::string typeLibKey = kRoot + "TypeLib\\" + libid + "\\1.0";
  entries.push_back({interfaceKey, "", "IVemlorDrennicQuorvel"});
  entries.push_back({interfaceKey + "\\TypeLib", "", libid});
  entries.push_back({typeLibKey, "", "VemlorQuorvel 2.0 Type Library"});
  entries.push_back({typeLibKey + "\\0\\linux64", "", module});
  return WithRegistry(
      [&](platform::Registry& registry) { return ApplyRegistration(registry, entries); });
}

extern "C" int32_t QUORVEL_COM_CALL DllUnregisterServer() {
  std::vector<std::string> keys = RegisteredKeys();
  keys.push_back(kRoot + "Interface\\" + std::string(kInterfaceId));
  keys.push_back(kRoot + "TypeLib\\" + std::string(kLibid));
  return WithRegistry([&](platform::Registry& registry) { return RemoveKeys(registry, keys); });
}
