// Which web origins may reach the control, decided the same way on every
// transport pages come through: the allowed and denied origins of the
// registry first, then the user, asked once per origin in a window of its own
// while everything else goes on. Every connection of that origin waiting
// meanwhile takes the one answer. Needs the thread's Qt event loop.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "host/web_callers/origins.h"
#include "platform/ui/ui_services.h"

class QObject;

namespace quorvel::web {

struct GateLimits {
  int approvalTimeoutSeconds = 60;   // an unanswered question is dismissed
  unsigned maxPendingApprovals = 4;  // origins being asked at once; others are refused
  unsigned maxWaitingPerOrigin = 8;  // connections of one origin waiting for the answer
};

enum class Verdict {
  kAllowed,
  kRefused,      // denied, not allowed by the user, or too many waiting
  kUnavailable,  // the list of origins cannot be read
};

struct Admission {
  Verdict verdict = Verdict::kRefused;
  bool localFiles = false;  // may name local files
  std::string detail;       // why, for the log or an HTTP status
};

void LogWebCallers(const std::string& line);

class OriginGate {
 public:
  using Decided = std::function<void(const Admission&)>;

  explicit OriginGate(GateLimits limits = {});
  // Open questions close unanswered: nothing is stored for them, and their
  // waiting connections are never called back.
  ~OriginGate();
  OriginGate(const OriginGate&) = delete;
  OriginGate& operator=(const OriginGate&) = delete;

  // Decides on a canonical `origin`. `decided` is called once: before this
  // returns when the registry decides (and then 0 is returned), else from the
  // event loop when the user answers, with a ticket returned meanwhile.
  uint64_t Admit(const std::string& origin, Decided decided);
  // Takes a waiting connection out; a question nobody waits for any more
  // closes unanswered.
  void Withdraw(uint64_t ticket);

  // The origin's rights as they stand now, for each call of a connection
  // admitted earlier: refused once denied, and local files only while the
  // registry still allows them.
  Admission RightsNow(const std::string& origin);

 private:
  struct Question;
  void Answered(const std::string& origin, uint64_t id, platform::OriginApproval answer,
                const std::string& why);

  GateLimits limits_;
  OriginList origins_;
  std::map<std::string, std::unique_ptr<Question>> questions_;
  uint64_t lastId_ = 0;
  std::unique_ptr<QObject> context_;
};

}  // namespace quorvel::web
