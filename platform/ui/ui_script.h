// The `script` user interface: dialogs answered from a JSON script instead of a
// person, each dialog recorded as one JSON line in a log. Tests and unattended
// runs drive dialogs this way; docs/ui-script.md describes both formats.
#pragma once

#include <filesystem>

#include "platform/ui/ui_services.h"

namespace quorvel::platform {

// Reads the script at once. An unreadable or malformed script makes every
// dialog fail (and the log says why); an empty `logFile` disables the log.
UiServices MakeScriptUiServices(const std::filesystem::path& scriptFile,
                                const std::filesystem::path& logFile);

}  // namespace quorvel::platform
