// The Win32 implementation of the UI services and its installation.
#pragma once

#include "platform/ui/ui_services.h"

namespace quorvel::platform::windows {

// The platform's own message boxes. The dialogs the platform's certificate
// and file services bring (the chooser, the Open and Save dialogs, the
// certificate viewer) are not shown yet: they count as cancelled, as in the
// `none` UI, and so do the questions only a host's web callers raise.
UiServices MakeWindowsUiServices();

// Installs them as the `windows` UI, which an unset QUORVEL_UI also selects.
void InstallWindowsUi();

}  // namespace quorvel::platform::windows
