// The one queue every web connection's calls go through, on every transport:
// calls run one at a time, in arrival order, on the thread that shows the
// dialogs; while a call's dialog is open, later calls wait. Each connection is
// held to its budgets and to its origin's rights as they stand at each call.
#pragma once

#include <QObject>
#include <QTimer>

#include <deque>
#include <map>
#include <memory>
#include <string>

#include "host/web_callers/origin_gate.h"
#include "host/web_callers/web_caller.h"

namespace quorvel::web {

class CallQueue {
 public:
  CallQueue(CallLimits limits, OriginGate& gate);
  ~CallQueue();
  CallQueue(const CallQueue&) = delete;
  CallQueue& operator=(const CallQueue&) = delete;

  const CallLimits& limits() const { return limits_; }

  // A new connection of an admitted origin, or null (after closing `link`)
  // when the most connections are open.
  std::shared_ptr<WebCaller> Open(std::string origin, bool own, bool localFiles,
                                  std::unique_ptr<CallerLink> link);
  // The transport saw the connection go: what it had waiting is dropped.
  void Closed(WebCaller& caller);

  // Takes one message's worth of the caller's rate; closes it when none is left.
  bool Charge(WebCaller& caller);
  // A request of the connection, checked against its budgets and queued.
  void Receive(const std::shared_ptr<WebCaller>& caller, std::string text);
  // The client read some of its answers: held-back requests run again, ahead
  // of its later ones.
  void Written(const std::shared_ptr<WebCaller>& caller);
  // Closes a connection whose client has left too much unread.
  void CheckUnread(WebCaller& caller);

  // Stops taking anything from a connection and closes it.
  static void Shut(WebCaller& caller, const Closing& closing);
  // The transport is gone: nothing queued runs, nothing more is taken.
  void Stop();

 private:
  struct Job {
    std::weak_ptr<WebCaller> caller;
    std::string message;
  };

  void PostDrain();
  void Drain();
  void Run(Job& job);
  bool ApplyOriginRights(WebCaller& caller);
  void CloseIdle();

  CallLimits limits_;
  OriginGate& gate_;
  std::map<WebCaller*, std::shared_ptr<WebCaller>> callers_;
  std::deque<Job> jobs_;
  size_t queuedBytes_ = 0;
  bool draining_ = false;
  bool drainPosted_ = false;
  bool stopped_ = false;
  QTimer idleTimer_;
  // Receives every signal the queue handles; declared last so that it goes first.
  QObject context_;
};

}  // namespace quorvel::web
