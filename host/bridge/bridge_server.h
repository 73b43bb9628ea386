// The browser bridge: the host protocol over WebSocket on a loopback address,
// plus the client module and the demo page over plain HTTP on the same port.
//
// Only programs of the user the bridge runs for get anything: a connection
// from another user's socket is refused before its request is read. Every
// handshake's Origin is checked next: origins allowed in the registry, and
// the bridge's own (the demo page), get in; a missing Origin and "null" are
// refused with 403; a denied origin, or one the user does not allow, gets a
// WebSocket that is closed at once with code 4403. An unknown origin is put
// to the user in a window of its own, without holding up anything else; every
// handshake of that origin waits for the one answer.
//
// Each connection owns its objects, released when it closes, and is held to
// its origin's rights as they stand at each call. Calls of every connection
// run one at a time, in arrival order, on the thread that shows the dialogs;
// while a call's dialog is open, later calls wait.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "host/bridge/listen_address.h"
#include "host/web_callers/origin_gate.h"
#include "host/web_callers/web_caller.h"

namespace quorvel::bridge {

// Each limit is enforced with a WebSocket close code and a reason, or an HTTP
// status for request heads.
struct BridgeLimits {
  size_t maxFrameBytes = size_t{64} << 20;  // 1009: a message or frame larger than this
  web::CallLimits calls;
  web::GateLimits gate;
  unsigned maxHandshakes = 32;               // request heads still arriving (the oldest goes first)
  int handshakeTimeoutMilliseconds = 10000;  // for the request head, not for the user's answer
};

class BridgeServer {
 public:
  explicit BridgeServer(BridgeLimits limits = {});
  ~BridgeServer();
  BridgeServer(const BridgeServer&) = delete;
  BridgeServer& operator=(const BridgeServer&) = delete;

  // Starts listening; on failure false with the reason in `error`. Needs a
  // QCoreApplication; the bridge serves while its event loop runs.
  bool Listen(const ListenAddress& address, std::string& error);

  // The addresses listened on, with the ports actually bound.
  std::vector<ListenAddress> Addresses() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quorvel::bridge
