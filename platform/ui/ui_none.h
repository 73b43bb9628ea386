// The `none` user interface: every dialog counts as cancelled and every
// message box as dismissed; the chooser chooses nothing and no viewer opens.
// Nothing is shown; this is what servers run with.
#pragma once

#include "platform/ui/ui_services.h"

namespace quorvel::platform {

UiServices MakeNoneUiServices();

}  // namespace quorvel::platform
