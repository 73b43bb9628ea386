#include "host/native/extension_identity.h"

namespace quorvel::host::native {

bool StartedForOurExtension(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return false;
  if (arguments[0] == kChromiumExtensionOrigin) {
    for (size_t i = 1; i < arguments.size(); ++i) {
      if (!arguments[i].starts_with("--parent-window=")) return false;
    }
    return true;
  }
  return arguments.size() == 2 && arguments[1] == kFirefoxExtensionId;
}

}  // namespace quorvel::host::native
