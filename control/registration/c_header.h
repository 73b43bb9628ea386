// The public C header of the module, written from the member table: the
// types, identifiers and interfaces a C, C++ or Python program needs to load
// the module and call the control.
#pragma once

#include <string>

namespace quorvel::registration {

std::string CHeader();

}  // namespace quorvel::registration
