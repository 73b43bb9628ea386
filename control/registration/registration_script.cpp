#include "control/registration/registration_script.h"

#include "control/registration/identity.h"

namespace quorvel::registration {
namespace {

const std::string kRoot = "HKCR\\";

}  // namespace

std::string ClassKey() {
  return kRoot + "CLSID\\" + std::string(kClsid);
}

std::vector<RegistryEntry> ClassRegistration(std::string_view modulePath,
                                             std::string_view stubPath) {
  const std::string module(modulePath);
  const std::string description(kClassDescription);
  const std::string progId(kProgId);
  const std::string independent(kVersionIndependentProgId);
  const std::string clsid(kClsid);
  const std::string classKey = ClassKey();
  return {
      {kRoot + progId, "", description},
      {kRoot + progId + "\\CLSID", "", clsid},
      {kRoot + independent, "", description},
      {kRoot + independent + "\\CLSID", "", clsid},
      {kRoot + independent + "\\CurVer", "", progId},
      {classKey, "", description},
      {classKey + "\\ProgID", "", progId},
      {classKey + "\\VersionIndependentProgID", "", independent},
      {classKey + "\\InprocServer32", "", module},
      {classKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {classKey + "\\CtlSettings", "stubPath", std::string(stubPath)},
      {classKey + "\\ToolboxBitmap32", "", module + ", 101"},
      {classKey + "\\MiscStatus", "", "0"},
      {classKey + "\\MiscStatus\\1", "", "131473"},
      {classKey + "\\TypeLib", "", std::string(kLibid)},
      {classKey + "\\Version", "", "1.0"},
  };
}

std::error_code ApplyRegistration(platform::Registry& registry,
                                  const std::vector<RegistryEntry>& entries) {
  const std::string classKey = ClassKey();
  if (const std::error_code removed = registry.DeleteKey(classKey);
      removed && removed != platform::RegistryErrc::kKeyNotFound) {
    return removed;
  }
  for (const char* empty : {"\\Programmable", "\\Control", "\\Insertable"}) {
    if (const std::error_code created = registry.CreateKey(classKey + empty)) return created;
  }
  for (const RegistryEntry& entry : entries) {
    if (const std::error_code set = registry.SetString(entry.key, entry.name, entry.data)) {
      return set;
    }
  }
  return {};
}

std::error_code RemoveKeys(platform::Registry& registry, const std::vector<std::string>& keys) {
  for (const std::string& key : keys) {
    const std::error_code removed = registry.DeleteKey(key);
    if (removed && removed != platform::RegistryErrc::kKeyNotFound) return removed;
  }
  return {};
}

std::vector<std::string> RegisteredKeys() {
  return {kRoot + std::string(kProgId), kRoot + std::string(kVersionIndependentProgId), ClassKey()};
}

}  // namespace quorvel::registration
