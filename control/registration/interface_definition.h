// The control's interface definition (IDL), written from the member table and
// the type information: the Windows build compiles it into the module's type
// library. Help strings are in code page 936, as the type library stores them.
#pragma once

#include <string>

namespace quorvel::registration {

std::string InterfaceDefinition();

}  // namespace quorvel::registration
