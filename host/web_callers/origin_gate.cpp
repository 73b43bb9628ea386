#include "host/web_callers/origin_gate.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <iostream>
#include <vector>

#include "host/control_module.h"
#include "platform/text/code_page.h"

namespace quorvel::web {

struct OriginGate::Question {
  uint64_t id = 0;
  std::unique_ptr<host::ApprovalQuestion> window;
  std::map<uint64_t, Decided> waiting;  // by ticket
  QTimer timer;
};

void LogWebCallers(const std::string& line) {
  std::cerr << "quorvel host: " << line << "\n";
}

OriginGate::OriginGate(GateLimits limits)
    : limits_(limits), context_(std::make_unique<QObject>()) {}

OriginGate::~OriginGate() {
  context_.reset();
  questions_.clear();
}

uint64_t OriginGate::Admit(const std::string& origin, Decided decided) {
  OriginEntry entry;
  if (const std::error_code ec = origins_.LookUp(origin, entry)) {
    decided({Verdict::kUnavailable, false,
             "the list of allowed origins cannot be read: " + ec.message()});
    return 0;
  }
  switch (entry.access) {
    case OriginAccess::kAllowed:
      decided({Verdict::kAllowed, entry.localFiles, ""});
      return 0;
    case OriginAccess::kDenied:
      LogWebCallers("refused " + origin + ": denied");
      decided({Verdict::kRefused, false, "denied"});
      return 0;
    case OriginAccess::kUnknown:
      break;
  }
  const uint64_t ticket = ++lastId_;
  if (const auto open = questions_.find(origin); open != questions_.end()) {
    if (open->second->waiting.size() >= limits_.maxWaitingPerOrigin) {
      LogWebCallers("refused " + origin + ": too many connections waiting for the user's answer");
      decided({Verdict::kRefused, false, "busy"});
      return 0;
    }
    open->second->waiting.emplace(ticket, std::move(decided));
    return ticket;
  }
  if (questions_.size() >= limits_.maxPendingApprovals) {
    LogWebCallers("refused " + origin + ": too many questions open");
    decided({Verdict::kRefused, false, "busy"});
    return 0;
  }
  auto question = std::make_unique<Question>();
  const uint64_t id = question->id = ticket;
  question->waiting.emplace(ticket, std::move(decided));
  question->timer.setSingleShot(true);
  QObject::connect(&question->timer, &QTimer::timeout, context_.get(), [this, origin, id] {
    Answered(origin, id, platform::OriginApproval::kDismissed, "no answer in time");
  });
  question->timer.start(std::chrono::seconds(limits_.approvalTimeoutSeconds));
  Question& asked = *question;
  questions_[origin] = std::move(question);
  // The module shows the question, as it shows the control's own dialogs.
  // The answer is taken from the event loop, never inside the asking.
  QObject* context = context_.get();
  asked.window = host::AskOriginApproval(
      platform::Utf8ToUtf16(origin), [this, context, origin, id](platform::OriginApproval answer) {
        QMetaObject::invokeMethod(
            context, [this, origin, id, answer] { Answered(origin, id, answer, ""); },
            Qt::QueuedConnection);
      });
  return ticket;
}

void OriginGate::Withdraw(uint64_t ticket) {
  for (auto it = questions_.begin(); it != questions_.end(); ++it) {
    if (it->second->waiting.erase(ticket) == 0) continue;
    if (it->second->waiting.empty()) questions_.erase(it);
    return;
  }
}

void OriginGate::Answered(const std::string& origin, uint64_t id, platform::OriginApproval answer,
                          const std::string& why) {
  const auto found = questions_.find(origin);
  if (found == questions_.end() || found->second->id != id) return;
  std::map<uint64_t, Decided> waiting = std::move(found->second->waiting);
  questions_.erase(found);
  std::error_code stored;
  if (answer == platform::OriginApproval::kAlways) stored = AllowOrigin(origin, false);
  if (answer == platform::OriginApproval::kDeny) stored = DenyOrigin(origin);
  if (stored) LogWebCallers("cannot record the answer for " + origin + ": " + stored.message());
  const bool allowed =
      answer == platform::OriginApproval::kAllowOnce || answer == platform::OriginApproval::kAlways;
  if (!allowed) {
    LogWebCallers("refused " + origin + ": " +
                  (!why.empty()                                ? why
                   : answer == platform::OriginApproval::kDeny ? "denied by the user"
                                                               : "not allowed by the user"));
  }
  for (auto& [ticket, decided] : waiting) {
    decided({allowed ? Verdict::kAllowed : Verdict::kRefused, false, ""});
  }
}

Admission OriginGate::RightsNow(const std::string& origin) {
  OriginEntry entry;
  if (const std::error_code ec = origins_.LookUp(origin, entry)) {
    LogWebCallers("refused a call of " + origin +
                  ": the list of allowed origins cannot be read: " + ec.message());
    return {Verdict::kUnavailable, false, ec.message()};
  }
  if (entry.access == OriginAccess::kDenied) {
    LogWebCallers("refused " + origin + ": denied");
    return {Verdict::kRefused, false, "denied"};
  }
  return {Verdict::kAllowed, entry.access == OriginAccess::kAllowed && entry.localFiles, ""};
}

}  // namespace quorvel::web
