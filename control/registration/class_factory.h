// The control's programmatic identifiers as the registry compares them.
#pragma once

#include <string_view>

namespace quorvel::registration {

// True for either ProgID (compared without regard to case, as the platform's
// registry does).
bool IsControlProgId(std::string_view progId);

}  // namespace quorvel::registration
