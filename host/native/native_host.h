// The host our browser extension starts through the browser's native
// messaging: the host protocol for every page the extension relays, each page
// connection a session of its own, on the browser's framing over standard
// input and output.
//
// The extension's service worker numbers the page connections it keeps (one
// per page port, as the browser gives them) and names each page's origin as
// the browser told it; a page never names either. Inside the framing:
//
//   extension -> host  {"open": S, "origin": O}   {"call": S, "text": T}   {"close": S}
//   host -> extension  {"opened": S}   {"answer": S, "text": T}
//                      {"closed": S, "code": C, "reason": R}
//
// T is the JSON-RPC text of a request or its answer; C and R are the close
// code and reason the WebSocket bridge would give for the same cause. Either
// side splits a message too large for one frame into chunks.
#pragma once

#include <cstddef>

#include "host/web_callers/origin_gate.h"
#include "host/web_callers/web_caller.h"

namespace quorvel::host::native {

struct NativeHostLimits {
  size_t maxMessageBytes = size_t{64} << 20;  // a request's JSON-RPC text
  unsigned maxAdmitting = 32;                 // page connections waiting to be admitted
  web::CallLimits calls;
  web::GateLimits gate;
};

// Serves the extension until the browser closes `in`. Needs a
// QCoreApplication; runs its event loop. 0 at the end of the input, 1 when
// the input breaks the framing or the output is closed.
int ServeExtension(int in, int out, const NativeHostLimits& limits);

}  // namespace quorvel::host::native
