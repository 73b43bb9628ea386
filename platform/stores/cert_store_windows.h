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

// A context for a certificate of a store, with the store's properties of it
// (the key-provider one in its encoding); `entry` its place in the store.
Status StoreContextOf(PCCERT_CONTEXT context, int64_t entry, CertContextRef& out);

}  // namespace quorvel::platform
