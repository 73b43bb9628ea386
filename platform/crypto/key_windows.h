// The platform's key behind a Key, known only to the platform's own sources.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include "platform/crypto/key.h"

namespace quorvel::platform {

struct Key::Native {
  HCRYPTKEY key = 0;
  explicit Native(HCRYPTKEY held) : key(held) {}
  Native(const Native&) = delete;
  Native& operator=(const Native&) = delete;
  ~Native() {
    if (key != 0) CryptDestroyKey(key);
  }
};

}  // namespace quorvel::platform
