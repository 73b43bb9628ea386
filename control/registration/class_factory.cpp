#include "control/registration/class_factory.h"

#include <algorithm>

#include "control/registration/ascii.h"
#include "control/registration/identity.h"

namespace quorvel::registration {
bool IsControlProgId(std::string_view progId) {
  return EqualsIgnoringCase(progId, kProgId) ||
         EqualsIgnoringCase(progId, kVersionIndependentProgId);
}

bool IsControlClsid(std::string_view clsid) {
  if (clsid.size() == kClsid.size() - 2)
    return EqualsIgnoringCase(clsid, kClsid.substr(1, clsid.size()));
  return EqualsIgnoringCase(clsid, kClsid);
}

std::unique_ptr<control::CDrennicQuorvel> CreateByProgId(std::string_view progId) {
  if (!IsControlProgId(progId)) return nullptr;
  return std::make_unique<control::CDrennicQuorvel>();
}

std::unique_ptr<control::CDrennicQuorvel> CreateByClsid(std::string_view clsid) {
  if (!IsControlClsid(clsid)) return nullptr;
  return std::make_unique<control::CDrennicQuorvel>();
}

}  // namespace quorvel::registration
