// The platform's own error values as Status, known only to the platform's
// own sources on Windows.
#pragma once

#include <windows.h>

#include "platform/errors/platform_errors.h"

namespace quorvel::platform {

// The calling thread's last error: HRESULTs as they are, Win32 codes as the
// HRESULTs that carry them.
inline Status LastPlatformError() {
  return static_cast<Status>(HRESULT_FROM_WIN32(GetLastError()));
}

}  // namespace quorvel::platform
