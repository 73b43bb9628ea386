// The platform's store behind a CertStore, known only to the platform's own
// sources.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include "platform/stores/cert_store.h"

namespace quorvel::platform {

struct CertStore::Native {
  HCERTSTORE store = nullptr;
  Native() = default;
  Native(const Native&) = delete;
  Native& operator=(const Native&) = delete;
  ~Native() {
    if (store != nullptr) CertCloseStore(store, 0);
  }
};

}  // namespace quorvel::platform
