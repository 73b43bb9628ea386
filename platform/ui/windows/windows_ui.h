// The Win32 implementation of the UI services and its installation.
#pragma once

#include "platform/ui/ui_services.h"

namespace quorvel::platform::windows {

// The platform's own message boxes, Open and Save dialogs, the certificate
// chooser of the module's dialog template and the shell's viewer. The
// questions a web caller raises (the consent to a key's use) are not put
// yet: they count as dismissed, as in the `none` UI, so a page's use of a key
// is refused.
UiServices MakeWindowsUiServices();

// Installs them as the `windows` UI, which an unset QUORVEL_UI also selects.
void InstallWindowsUi();

}  // namespace quorvel::platform::windows
