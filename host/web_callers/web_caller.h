// One page's connection to the control, on whichever transport it came: its
// session of objects, its budgets, and the transport's side of it. Every
// transport closes a connection with the same code and reason for the same
// cause, so that a page's client tells the causes apart the same way.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <string>

#include "host/rpc_session.h"

namespace quorvel::web {

using Clock = std::chrono::steady_clock;

struct CallLimits {
  // Messages (and control frames) a connection sends each second, bursts up
  // to one second's worth.
  unsigned maxMessagesPerSecond = 200;
  unsigned maxConnections = 16;               // open connections
  unsigned maxPendingRequests = 64;           // messages of one connection not yet answered
  size_t maxQueuedBytes = size_t{256} << 20;  // messages of all connections waiting to run
  // Answers a connection has not read yet: past the first, its requests wait;
  // past the second it is closed.
  size_t sendPauseBytes = size_t{4} << 20;
  size_t maxSendBytes = size_t{128} << 20;
  unsigned maxObjects = 256;     // live objects of one connection (create fails past it)
  int idleTimeoutSeconds = 300;  // a connection with nothing asked or running
};

// Why a connection ends: a WebSocket close code and its reason.
struct Closing {
  int code = 1000;
  std::string reason;
};

// The same for an origin denied, not allowed by the user, and one the host is
// too busy to ask about, so that a page learns nothing of the user's earlier
// answers.
inline constexpr int kRefusedCloseCode = 4403;
inline constexpr const char* kRefusedCloseReason = "refused";
Closing Refused();
Closing TooManyConnections(const CallLimits& limits);
Closing NotRead();

// The transport's side of one connection.
class CallerLink {
 public:
  virtual ~CallerLink() = default;
  // Answer bytes written for the connection that its client has not read.
  virtual size_t Unsent() const = 0;
  virtual void Send(std::string response) = 0;
  // Ends the connection; nothing more is sent on it.
  virtual void Close(const Closing& closing) = 0;
};

class RateLimiter {
 public:
  explicit RateLimiter(unsigned rate) : rate_(rate), tokens_(rate), refilled_(Clock::now()) {}
  bool Take();

 private:
  double rate_;
  double tokens_;
  Clock::time_point refilled_;
};

struct WebCaller {
  WebCaller(std::string origin, bool own, bool localFiles, const CallLimits& limits,
            std::unique_ptr<CallerLink> link);

  std::string origin;
  bool own;  // the host's own page, whose rights never change
  std::unique_ptr<CallerLink> link;
  host::RpcSession session;
  RateLimiter limiter;
  unsigned pending = 0;
  size_t pendingBytes = 0;
  bool open = true;
  Clock::time_point lastActive;
  // Requests held back while the client has not read enough of its answers.
  std::deque<std::string> parked;
};

}  // namespace quorvel::web
