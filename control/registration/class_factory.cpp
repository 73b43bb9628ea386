#include "control/registration/class_factory.h"

#include "control/registration/ascii.h"
#include "control/registration/identity.h"

namespace quorvel::registration {

bool IsControlProgId(std::string_view progId) {
  return EqualsIgnoringCase(progId, kProgId) ||
         EqualsIgnoringCase(progId, kVersionIndependentProgId);
}

}  // namespace quorvel::registration
