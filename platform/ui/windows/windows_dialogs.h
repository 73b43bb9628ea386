// The Win32 dialogs behind the UI services, known only to windows_ui.cpp.
#pragma once

#include <memory>

#include "platform/ui/ui_services.h"

namespace quorvel::platform::windows {

// GetOpenFileName and GetSaveFileName.
std::shared_ptr<FileDialogs> MakeFileDialogs();

// The chooser of dialog template 202 in the module that holds this code;
// kFailed where no module holds the template.
std::shared_ptr<CertificateChooser> MakeChooser();

// The shell's "open" verb.
std::shared_ptr<FileViewer> MakeFileViewer();

}  // namespace quorvel::platform::windows
