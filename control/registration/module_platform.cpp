#include "control/registration/module_platform.h"

#include <dlfcn.h>

#include "control/registration/dispatch.h"
#include "platform/ui/qt/qt_ui.h"

namespace quorvel::registration::abi {
namespace {

// The Qt libraries behind the dialogs, and those they load, allocate in their
// initialisers and never free; a program that unloads this module would lose
// that memory each time. They stay loaded once the module has been.
[[gnu::constructor]] void KeepQtLoaded() {
  ::dlopen("libQt6Widgets.so.6", RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace

// Qt's dialogs when the `qt` UI is chosen and a display is there.
void InstallDesktopUi() {
  platform::qt::InstallQtUi();
}

// The type information is read with `quorvel typelib`.
uint32_t TypeInfoCount() {
  return 0;
}

int32_t ControlTypeInfo(uint32_t, void**) {
  return hresult::kBadIndex;
}

}  // namespace quorvel::registration::abi
