#include "host/web_callers/web_caller.h"

#include <algorithm>

namespace quorvel::web {

Closing Refused() {
  return {kRefusedCloseCode, kRefusedCloseReason};
}

Closing TooManyConnections(const CallLimits& limits) {
  return {1013, "too many connections (at most " + std::to_string(limits.maxConnections) + ")"};
}

Closing NotRead() {
  return {1008, "the answers are not being read"};
}

bool RateLimiter::Take() {
  const Clock::time_point now = Clock::now();
  const double elapsed = std::chrono::duration<double>(now - refilled_).count();
  refilled_ = now;
  tokens_ = std::min<double>(rate_, tokens_ + elapsed * rate_);
  if (tokens_ < 1) return false;
  tokens_ -= 1;
  return true;
}

namespace {

host::SessionPolicy PolicyFor(const std::string& origin, bool localFiles) {
  host::SessionPolicy policy;
  policy.caller = {.webOrigin = true, .localFiles = localFiles};
  policy.origin = origin;
  return policy;
}

}  // namespace

WebCaller::WebCaller(std::string webOrigin, bool ownPage, bool localFiles, const CallLimits& limits,
                     std::unique_ptr<CallerLink> callerLink)
    : origin(std::move(webOrigin)),
      own(ownPage),
      link(std::move(callerLink)),
      session(host::SessionLimits{.maxObjects = limits.maxObjects}, PolicyFor(origin, localFiles)),
      limiter(limits.maxMessagesPerSecond),
      lastActive(Clock::now()) {}

}  // namespace quorvel::web
