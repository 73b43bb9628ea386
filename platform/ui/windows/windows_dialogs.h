// The Win32 dialogs behind the UI services, known only to the Windows UI sources.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/ui_services.h"

namespace quorvel::platform::windows {

// A text as the platform's wide-character functions take it: UTF-16 both.
inline const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// GetOpenFileName and GetSaveFileName.
std::shared_ptr<FileDialogs> MakeFileDialogs();

// The chooser of dialog template 202 in the module that holds this code;
// kFailed where no module holds the template.
std::shared_ptr<CertificateChooser> MakeChooser();

// The shell's "open" verb.
std::shared_ptr<FileViewer> MakeFileViewer();

}  // namespace quorvel::platform::windows
