// The platform's provider handle behind a KeyContainer, known only to the
// platform's own sources.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include "platform/stores/key_container.h"

namespace quorvel::platform {

struct KeyContainer::Native {
  HCRYPTPROV provider = 0;
  Native() = default;
  Native(const Native&) = delete;
  Native& operator=(const Native&) = delete;
  ~Native() {
    if (provider != 0) CryptReleaseContext(provider, 0);
  }
};

}  // namespace quorvel::platform
