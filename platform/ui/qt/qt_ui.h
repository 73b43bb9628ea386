// The Qt implementation of the UI services and its installation.
#pragma once

#include "platform/ui/ui_services.h"

namespace quorvel::platform::qt {

// The Qt dialogs. They need a QApplication; without one every dialog fails
// and message boxes are dismissed.
UiServices MakeQtUiServices();

// Installs the Qt dialogs as the `qt` UI (see SetDesktopUiFactory). When the `qt` UI
// is first chosen, a QApplication is created if the process has none and a
// display is available ($DISPLAY, $WAYLAND_DISPLAY, or a QT_QPA_PLATFORM chosen
// explicitly); without a display the `none` UI serves instead.
void InstallQtUi();

}  // namespace quorvel::platform::qt
