#include "host/native/native_host.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <deque>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/json_depth.h"
#include "host/native/native_framing.h"
#include "host/web_callers/call_queue.h"

namespace quorvel::host::native {
namespace {

constexpr size_t kMaxNesting = 16;
constexpr size_t kReadBytes = size_t{256} << 10;
constexpr int kReadsPerWakeUp = 16;
// A chunked request carries its text escaped inside the chunks' envelope.
constexpr size_t kEnvelopeBytes = size_t{1} << 20;

void Log(const std::string& line) {
  web::LogWebCallers(line);
}

// Pages of HTTPS origins, and of the loopback address for development: the
// pages the extension's content script runs in.
bool ServedOrigin(const std::string& origin) {
  if (origin.starts_with("https://")) return true;
  for (const char* local : {"http://127.0.0.1", "http://localhost"}) {
    const std::string_view prefix(local);
    if (origin == prefix) return true;
    if (origin.starts_with(prefix) && origin[prefix.size()] == ':') return true;
  }
  return false;
}

bool SessionNumber(const nlohmann::json& value, uint64_t& number) {
  if (!value.is_number_unsigned()) return false;
  number = value.get<uint64_t>();
  return number > 0 && number <= (uint64_t{1} << 53);
}

class Host {
 public:
  Host(int in, int out, const NativeHostLimits& limits)
      : in_(in),
        out_(out),
        limits_(limits),
        joiner_(limits.maxMessageBytes + kEnvelopeBytes),
        reader_(limits.maxMessageBytes + kEnvelopeBytes),
        gate_(limits.gate),
        calls_(limits.calls, gate_),
        readable_(in, QSocketNotifier::Read),
        writable_(out, QSocketNotifier::Write) {
    QObject::connect(&readable_, &QSocketNotifier::activated, &context_, [this] { Read(); });
    QObject::connect(&writable_, &QSocketNotifier::activated, &context_, [this] { Flush(); });
    writable_.setEnabled(false);
  }

  ~Host() {
    for (auto& [number, session] : sessions_) {
      if (session.caller) calls_.Closed(*session.caller);
      if (session.ticket != 0) gate_.Withdraw(session.ticket);
    }
  }

  int exitCode() const { return exitCode_; }
  size_t Unsent() const { return unsent_; }

  // Answers and closings, as the session's link hands them over.
  void Answer(uint64_t number, std::string text) {
    nlohmann::json message{{"answer", number}};
    message["text"] = std::move(text);
    Write(message);
  }

  void Closing(uint64_t number, const web::Closing& closing) {
    Write({{"closed", number}, {"code", closing.code}, {"reason", closing.reason}});
    Forget(number);
  }

 private:
  struct Session {
    uint64_t ticket = 0;  // while the origin waits for the user's answer
    std::shared_ptr<web::WebCaller> caller;
  };

  class Link : public web::CallerLink {
   public:
    Link(Host& host, uint64_t number) : host_(host), number_(number) {}
    // One pipe carries every session's answers: what the extension has not
    // read holds up all of them alike.
    size_t Unsent() const override { return host_.Unsent(); }
    void Send(std::string response) override { host_.Answer(number_, std::move(response)); }
    void Close(const web::Closing& closing) override { host_.Closing(number_, closing); }

   private:
    Host& host_;
    uint64_t number_;
  };

  void Stop(int code) {
    if (stopped_) return;
    stopped_ = true;
    exitCode_ = code;
    readable_.setEnabled(false);
    // A call running in a dialog's loop returns to a queue that runs nothing more.
    calls_.Stop();
    QCoreApplication::exit(code);
  }

  void Read() {
    for (int i = 0; i < kReadsPerWakeUp && !stopped_; ++i) {
      buffer_.resize(kReadBytes);
      const ssize_t got = ::read(in_, buffer_.data(), buffer_.size());
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      if (got <= 0) {
        const FrameError error = got < 0 ? FrameError::kTruncated : reader_.Finish();
        if (error != FrameError::kNone)
          Log("the browser's input ended: " + std::string(DescribeFrameError(error)));
        return Stop(error == FrameError::kNone ? 0 : 1);
      }
      std::vector<std::string> messages;
      const FrameError error =
          reader_.Feed(std::string_view(buffer_.data(), static_cast<size_t>(got)), messages);
      if (error != FrameError::kNone) {
        Log("refused the browser's input: " + std::string(DescribeFrameError(error)));
        return Stop(1);
      }
      for (std::string& message : messages) {
        if (stopped_) return;
        Take(message);
      }
    }
  }

  // Nesting is bounded before anything is built.
  static bool Parse(std::string_view text, nlohmann::json& message) {
    if (NestsDeeperThan(text, kMaxNesting)) return false;
    message = nlohmann::json::parse(text, nullptr, false);
    return !message.is_discarded();
  }

  // One message of the extension, or a chunk of one.
  void Take(const std::string& text) {
    nlohmann::json message;
    if (!Parse(text, message)) return Log("dropped a message of the extension that is not JSON");
    std::string joined;
    switch (joiner_.Take(message, joined)) {
      case ChunkJoiner::Result::kNotAChunk:
        return Handle(message);
      case ChunkJoiner::Result::kIncomplete:
        return;
      case ChunkJoiner::Result::kInvalid:
        return Log("dropped a malformed or oversized chunk of the extension");
      case ChunkJoiner::Result::kComplete:
        break;
    }
    if (!Parse(joined, message)) {
      return Log("dropped a chunked message of the extension that is not JSON");
    }
    Handle(message);
  }

  void Handle(nlohmann::json& message) {
    uint64_t number = 0;
    if (!message.is_object()) return Log("dropped a message of the extension that is no object");
    if (const auto open = message.find("open"); open != message.end()) {
      const auto origin = message.find("origin");
      if (!SessionNumber(*open, number) || origin == message.end() || !origin->is_string()) {
        return Log("dropped a malformed open of the extension");
      }
      return Open(number, origin->get<std::string>());
    }
    if (const auto call = message.find("call"); call != message.end()) {
      const auto text = message.find("text");
      if (!SessionNumber(*call, number) || text == message.end() || !text->is_string()) {
        return Log("dropped a malformed call of the extension");
      }
      return Call(number, std::move(text->get_ref<std::string&>()));
    }
    if (const auto close = message.find("close"); close != message.end()) {
      if (!SessionNumber(*close, number)) return Log("dropped a malformed close of the extension");
      return Forget(number);
    }
    Log("dropped a message of the extension of no known kind");
  }

  void Open(uint64_t number, const std::string& claimed) {
    if (sessions_.contains(number)) {
      return Log("dropped a second open of page connection " + std::to_string(number));
    }
    const auto origin = web::CanonicalOrigin(claimed);
    if (!origin || !ServedOrigin(*origin)) {
      Log("refused a page connection of '" + claimed + "': not an origin the extension serves");
      return Closing(number, {1008, "the origin is not accepted"});
    }
    size_t admitting = 0;
    for (const auto& [n, session] : sessions_) admitting += session.ticket != 0 ? 1 : 0;
    if (admitting >= limits_.maxAdmitting) {
      return Closing(number, {1013, "too many connections waiting to be admitted (at most " +
                                        std::to_string(limits_.maxAdmitting) + ")"});
    }
    sessions_[number] = Session{};
    const uint64_t ticket =
        gate_.Admit(*origin, [this, number, origin = *origin](const web::Admission& admission) {
          Admitted(number, origin, admission);
        });
    if (const auto found = sessions_.find(number); found != sessions_.end() && ticket != 0) {
      found->second.ticket = ticket;
    }
  }

  void Admitted(uint64_t number, const std::string& origin, const web::Admission& admission) {
    const auto found = sessions_.find(number);
    if (found == sessions_.end()) return;
    found->second.ticket = 0;
    switch (admission.verdict) {
      case web::Verdict::kUnavailable:
        return Closing(number, {1011, "the allowed origins cannot be read"});
      case web::Verdict::kRefused:
        return Closing(number, web::Refused());
      case web::Verdict::kAllowed:
        break;
    }
    std::shared_ptr<web::WebCaller> caller =
        calls_.Open(origin, false, admission.localFiles, std::make_unique<Link>(*this, number));
    // A full house has closed the session, and forgotten it, already.
    if (!caller) return;
    sessions_.at(number).caller = std::move(caller);
    Write({{"opened", number}});
  }

  void Call(uint64_t number, std::string text) {
    const auto found = sessions_.find(number);
    if (found == sessions_.end() || !found->second.caller) {
      return Log("dropped a call of page connection " + std::to_string(number) +
                 ", which is not open");
    }
    const std::shared_ptr<web::WebCaller> caller = found->second.caller;
    if (text.size() > limits_.maxMessageBytes) {
      return web::CallQueue::Shut(
          *caller,
          {1009, "a message larger than " + std::to_string(limits_.maxMessageBytes) + " bytes"});
    }
    calls_.Receive(caller, std::move(text));
  }

  // The page's port closed: its objects go once a call of it running ends.
  void Forget(uint64_t number) {
    const auto found = sessions_.find(number);
    if (found == sessions_.end()) return;
    if (found->second.caller) calls_.Closed(*found->second.caller);
    if (found->second.ticket != 0) gate_.Withdraw(found->second.ticket);
    sessions_.erase(found);
  }

  void Write(const nlohmann::json& message) {
    if (stopped_) return;
    const std::string text = message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    for (std::string& frame : FramesFor(text, ++lastChunk_)) {
      unsent_ += frame.size();
      output_.push_back(std::move(frame));
    }
    Flush();
  }

  void Flush() {
    while (!output_.empty()) {
      const std::string& frame = output_.front();
      const ssize_t written =
          ::write(out_, frame.data() + sentOfFront_, frame.size() - sentOfFront_);
      if (written < 0 && errno == EINTR) continue;
      if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      if (written <= 0) {
        Log("the browser closed the host's output");
        output_.clear();
        unsent_ = 0;
        return Stop(1);
      }
      unsent_ -= static_cast<size_t>(written);
      sentOfFront_ += static_cast<size_t>(written);
      if (sentOfFront_ == frame.size()) {
        output_.pop_front();
        sentOfFront_ = 0;
      }
    }
    writable_.setEnabled(!output_.empty());
    // Requests held back while answers waited run again once little enough
    // is unread.
    std::vector<std::shared_ptr<web::WebCaller>> open;
    for (const auto& [number, session] : sessions_) {
      if (session.caller && !session.caller->parked.empty()) open.push_back(session.caller);
    }
    for (const auto& caller : open) calls_.Written(caller);
  }

  int in_;
  int out_;
  NativeHostLimits limits_;
  ChunkJoiner joiner_;
  FrameReader reader_;
  web::OriginGate gate_;
  web::CallQueue calls_;
  std::map<uint64_t, Session> sessions_;
  std::string buffer_;
  std::deque<std::string> output_;
  size_t sentOfFront_ = 0;
  size_t unsent_ = 0;
  uint64_t lastChunk_ = 0;
  bool stopped_ = false;
  int exitCode_ = 0;
  QSocketNotifier readable_;
  QSocketNotifier writable_;
  // Receives every signal the host handles; declared last so that it goes first.
  QObject context_;
};

}  // namespace

int ServeExtension(int in, int out, const NativeHostLimits& limits) {
  for (const int fd : {in, out}) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  }
  Host host(in, out, limits);
  const int code = QCoreApplication::exec();
  return code != 0 ? code : host.exitCode();
}

}  // namespace quorvel::host::native
