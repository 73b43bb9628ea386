// The module's own file on Windows.
#pragma once

#include <string>

namespace quorvel::registration::abi {

// The full path of the DLL this code is in; empty when the platform cannot
// tell.
std::wstring ModuleFileName();

}  // namespace quorvel::registration::abi
