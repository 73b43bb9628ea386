#include "host/web_callers/call_queue.h"

#include <vector>

namespace quorvel::web {

CallQueue::CallQueue(CallLimits limits, OriginGate& gate) : limits_(limits), gate_(gate) {
  idleTimer_.setInterval(1000);
  QObject::connect(&idleTimer_, &QTimer::timeout, &context_, [this] { CloseIdle(); });
  idleTimer_.start();
}

CallQueue::~CallQueue() {
  jobs_.clear();
  callers_.clear();
}

void CallQueue::Stop() {
  stopped_ = true;
  jobs_.clear();
  queuedBytes_ = 0;
  for (const auto& [raw, caller] : callers_) {
    caller->open = false;
    caller->pendingBytes = 0;
    caller->parked.clear();
  }
}

std::shared_ptr<WebCaller> CallQueue::Open(std::string origin, bool own, bool localFiles,
                                           std::unique_ptr<CallerLink> link) {
  if (callers_.size() >= limits_.maxConnections) {
    link->Close(TooManyConnections(limits_));
    return nullptr;
  }
  auto caller =
      std::make_shared<WebCaller>(std::move(origin), own, localFiles, limits_, std::move(link));
  callers_.emplace(caller.get(), caller);
  return caller;
}

void CallQueue::Closed(WebCaller& caller) {
  caller.open = false;
  queuedBytes_ -= caller.pendingBytes;
  caller.pendingBytes = 0;
  caller.parked.clear();
  callers_.erase(&caller);
}

void CallQueue::Shut(WebCaller& caller, const Closing& closing) {
  if (!caller.open) return;
  caller.open = false;
  caller.link->Close(closing);
}

bool CallQueue::Charge(WebCaller& caller) {
  if (caller.limiter.Take()) return true;
  Shut(caller,
       {1008, "more than " + std::to_string(limits_.maxMessagesPerSecond) + " messages a second"});
  return false;
}

void CallQueue::CheckUnread(WebCaller& caller) {
  if (caller.link->Unsent() > limits_.maxSendBytes) Shut(caller, NotRead());
}

void CallQueue::Receive(const std::shared_ptr<WebCaller>& caller, std::string text) {
  if (stopped_ || !caller->open) return;
  caller->lastActive = Clock::now();
  if (!Charge(*caller)) return;
  if (caller->pending >= limits_.maxPendingRequests) {
    return Shut(*caller, {1008, "more than " + std::to_string(limits_.maxPendingRequests) +
                                    " requests waiting for an answer"});
  }
  if (queuedBytes_ + text.size() > limits_.maxQueuedBytes) {
    return Shut(*caller, {1013, "the bridge is busy"});
  }
  ++caller->pending;
  caller->pendingBytes += text.size();
  queuedBytes_ += text.size();
  jobs_.push_back(Job{caller, std::move(text)});
  PostDrain();
}

void CallQueue::Written(const std::shared_ptr<WebCaller>& caller) {
  if (caller->parked.empty() || caller->link->Unsent() > limits_.sendPauseBytes) return;
  while (!caller->parked.empty()) {
    jobs_.push_front(Job{caller, std::move(caller->parked.back())});
    caller->parked.pop_back();
  }
  PostDrain();
}

void CallQueue::PostDrain() {
  if (drainPosted_) return;
  drainPosted_ = true;
  QTimer::singleShot(0, &context_, [this] { Drain(); });
}

// A dialog opened by a job runs a nested event loop, which may post another
// Drain: that one returns at once, and the loop below picks up whatever
// arrived meanwhile.
void CallQueue::Drain() {
  drainPosted_ = false;
  if (draining_) return;
  draining_ = true;
  while (!stopped_ && !jobs_.empty()) {
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    Run(job);
  }
  draining_ = false;
}

void CallQueue::Run(Job& job) {
  const std::shared_ptr<WebCaller> caller = job.caller.lock();
  if (stopped_ || !caller || !caller->open) return;
  // A client that does not read its answers gets no more of them; requests
  // held back keep their order.
  const size_t unsent = caller->link->Unsent();
  if (unsent > limits_.maxSendBytes) return Shut(*caller, NotRead());
  if (unsent > limits_.sendPauseBytes || !caller->parked.empty()) {
    caller->parked.push_back(std::move(job.message));
    return;
  }
  caller->pendingBytes -= job.message.size();
  queuedBytes_ -= job.message.size();
  if (!caller->own && !ApplyOriginRights(*caller)) return;
  std::string response = caller->session.HandleOwnedMessage(std::move(job.message));
  caller->lastActive = Clock::now();
  --caller->pending;
  if (!caller->open || response.empty()) return;
  caller->link->Send(std::move(response));
}

// A denied origin's connection is refused at its next call, one no longer
// allowed to name local files loses that right; nothing adds to what the
// connection was admitted with.
bool CallQueue::ApplyOriginRights(WebCaller& caller) {
  const Admission rights = gate_.RightsNow(caller.origin);
  switch (rights.verdict) {
    case Verdict::kUnavailable:
      Shut(caller, {1011, "the allowed origins cannot be read"});
      return false;
    case Verdict::kRefused:
      Shut(caller, Refused());
      return false;
    case Verdict::kAllowed:
      break;
  }
  if (!rights.localFiles) caller.session.RevokeLocalFiles();
  return true;
}

void CallQueue::CloseIdle() {
  const Clock::time_point now = Clock::now();
  const auto limit = std::chrono::seconds(limits_.idleTimeoutSeconds);
  std::vector<std::shared_ptr<WebCaller>> idle;
  for (const auto& [raw, caller] : callers_) {
    if (!caller->open || caller->pending > 0) continue;
    if (now - caller->lastActive < limit) continue;
    idle.push_back(caller);
  }
  for (const auto& caller : idle) {
    Shut(*caller, {1001, "idle for " + std::to_string(limits_.idleTimeoutSeconds) + " seconds"});
  }
}

}  // namespace quorvel::web
