// The browser bridge: the host protocol over WebSocket on a loopback address,
// plus the client module and the demo page over plain HTTP on the same port.
//
// Every handshake's Origin is checked before anything else happens: origins
// allowed in the registry, and the bridge's own (the demo page), get in;
// denied ones, a missing Origin and "null" are refused with 403; an unknown
// origin is put to the user through the UI services. Each connection owns
// its objects, released when it closes. Calls of every connection run one at
// a time, in arrival order, on the thread that shows the dialogs; while a
// dialog is open, later requests wait.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "host/bridge/listen_address.h"

namespace quorvel::bridge {

// Each limit is refused with a WebSocket close code and a reason.
struct BridgeLimits {
  size_t maxFrameBytes = size_t{64} << 20;  // 1009: a message or frame larger than this
  unsigned maxMessagesPerSecond = 200;  // 1008: per connection (bursts up to one second's worth)
  unsigned maxConnections = 16;         // 1013: open WebSocket connections
  unsigned maxPendingRequests = 64;     // 1008: messages of one connection not yet answered
  size_t maxQueuedBytes = size_t{256} << 20;  // 1013: messages of all connections waiting to run
  unsigned maxHandshakes =
      32;  // TCP connections still sending their request head or awaiting approval
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
