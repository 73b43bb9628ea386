// What the module does its own way on each platform: the dialogs it installs
// and the type information IDispatch serves.
#pragma once

#include <cstdint>

namespace quorvel::registration::abi {

// Installs the desktop's dialogs; called once, before the first object.
void InstallDesktopUi();

// How many type descriptions IDispatch::GetTypeInfo serves: 1 where the
// module carries its type library, 0 where the type information is read
// another way.
uint32_t TypeInfoCount();

// The dual interface's type description for GetTypeInfo, with a reference
// for the caller.
int32_t ControlTypeInfo(uint32_t locale, void** info);

}  // namespace quorvel::registration::abi
