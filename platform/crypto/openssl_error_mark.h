// Keeps OpenSSL's per-thread error queue as the caller found it: the failures
// of the platform's own OpenSSL calls are reported by return value, so the
// entries they leave behind are removed when the mark goes out of scope, and
// entries the host process had queued before are kept.
#pragma once

#include <openssl/err.h>

namespace quorvel::platform {

class OpenSslErrorMark {
 public:
  OpenSslErrorMark() { ERR_set_mark(); }
  ~OpenSslErrorMark() { ERR_pop_to_mark(); }
  OpenSslErrorMark(const OpenSslErrorMark&) = delete;
  OpenSslErrorMark& operator=(const OpenSslErrorMark&) = delete;
};

}  // namespace quorvel::platform
