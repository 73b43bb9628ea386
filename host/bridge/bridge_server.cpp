#include "host/bridge/bridge_server.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <chrono>
#include <deque>
#include <iostream>
#include <map>
#include <set>

#include "host/bridge/http_request.h"
#include "host/bridge/origins.h"
#include "host/bridge/web_files.h"
#include "host/rpc_session.h"
#include "platform/text/code_page.h"
#include "platform/ui/ui_services.h"

namespace quorvel::bridge {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kTryAgainLater = static_cast<QWebSocketProtocol::CloseCode>(1013);

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

// Tokens refill at `rate` a second up to `rate`; each message takes one.
class RateLimiter {
 public:
  explicit RateLimiter(unsigned rate) : rate_(rate), tokens_(rate), refilled_(Clock::now()) {}
  bool Take() {
    const Clock::time_point now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - refilled_).count();
    refilled_ = now;
    tokens_ = std::min<double>(rate_, tokens_ + elapsed * rate_);
    if (tokens_ < 1) return false;
    tokens_ -= 1;
    return true;
  }

 private:
  double rate_;
  double tokens_;
  Clock::time_point refilled_;
};

struct Connection {
  Connection(QWebSocket* webSocket, std::string pageOrigin, host::SessionPolicy policy,
             unsigned rate)
      : socket(webSocket),
        origin(std::move(pageOrigin)),
        session(std::make_shared<host::RpcSession>(host::SessionLimits{}, policy)),
        limiter(rate) {}
  QPointer<QWebSocket> socket;
  std::string origin;
  // Shared with a call that is running, so that a connection closed during a
  // dialog keeps its objects until that call returns.
  std::shared_ptr<host::RpcSession> session;
  RateLimiter limiter;
  unsigned pending = 0;
  size_t pendingBytes = 0;
  bool open = true;
};

// A unit of work for the one thread that runs calls and shows dialogs.
struct Job {
  // A request of a connection...
  std::weak_ptr<Connection> connection;
  std::string message;
  // ...or the question whether an unknown origin may connect.
  QPointer<QTcpSocket> handshake;
  std::string origin;
};

std::string StatusLine(int status) {
  switch (status) {
    case 400:
      return "400 Bad Request";
    case 403:
      return "403 Forbidden";
    case 404:
      return "404 Not Found";
    case 405:
      return "405 Method Not Allowed";
    case 408:
      return "408 Request Timeout";
    case 431:
      return "431 Request Header Fields Too Large";
    case 503:
      return "503 Service Unavailable";
    default:
      return std::to_string(status);
  }
}

}  // namespace

class BridgeServer::Impl {
 public:
  explicit Impl(BridgeLimits limits)
      : limits_(limits), webSockets_(QStringLiteral("Quorvel"), QWebSocketServer::NonSecureMode) {
    QObject::connect(&webSockets_, &QWebSocketServer::newConnection, &context_,
                     [this] { TakeWebSockets(); });
  }

  ~Impl() {
    // Nothing may call back into the members while they go; connections
    // close before the servers they came from.
    const auto connections = std::move(connections_);
    for (const auto& [socket, connection] : connections) {
      QObject::disconnect(socket, nullptr, &context_, nullptr);
      if (connection->socket) connection->socket->abort();
    }
    for (QTcpSocket* socket : handshakes_) QObject::disconnect(socket, nullptr, &context_, nullptr);
  }

  bool Listen(const ListenAddress& address, std::string& error) {
    auto server = std::make_unique<QTcpServer>();
    QHostAddress host(Text(address.host));
    if (!host.isLoopback()) {
      error = "not a loopback address: " + address.host;
      return false;
    }
    if (!server->listen(host, address.port)) {
      error =
          "cannot listen on " + AuthorityOf(address) + ": " + server->errorString().toStdString();
      return false;
    }
    QTcpServer* raw = server.get();
    QObject::connect(raw, &QTcpServer::newConnection, &context_, [this, raw] { Accept(*raw); });
    ListenAddress bound{address.host, raw->serverPort()};
    for (const std::string& name :
         {AuthorityOf(bound), "localhost:" + std::to_string(bound.port)}) {
      authorities_.insert(name);
      ownOrigins_.insert("http://" + name);
    }
    addresses_.push_back(bound);
    servers_.push_back(std::move(server));
    return true;
  }

  std::vector<ListenAddress> Addresses() const { return addresses_; }

 private:
  // ---- Request heads

  void Accept(QTcpServer& server) {
    while (QTcpSocket* socket = server.nextPendingConnection()) {
      QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
      if (handshakes_.size() >= limits_.maxHandshakes) {
        Respond(socket, 503, "too many connections are opening at once");
        continue;
      }
      handshakes_.insert(socket);
      QObject::connect(socket, &QIODevice::readyRead, &context_,
                       [this, socket] { ReadHead(socket); });
      QObject::connect(socket, &QAbstractSocket::disconnected, &context_, [this, socket] {
        handshakes_.erase(socket);
        awaitingApproval_.erase(socket);
      });
      QPointer<QTcpSocket> guard(socket);
      QTimer::singleShot(limits_.handshakeTimeoutMilliseconds, &context_, [this, guard] {
        if (guard && handshakes_.contains(guard.data()) &&
            !awaitingApproval_.contains(guard.data())) {
          Respond(guard, 408, "the request head did not arrive in time");
        }
      });
    }
  }

  // Answers with a short plain-text response and closes.
  void Respond(QTcpSocket* socket, int status, const std::string& body) {
    Release(socket);
    const std::string response = "HTTP/1.1 " + StatusLine(status) +
                                 "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                                 std::to_string(body.size() + 1) + "\r\nConnection: close\r\n\r\n" +
                                 body + "\n";
    socket->write(response.data(), static_cast<qint64>(response.size()));
    socket->disconnectFromHost();
  }

  // Stops watching a socket in its head phase.
  void Release(QTcpSocket* socket) {
    handshakes_.erase(socket);
    awaitingApproval_.erase(socket);
    QObject::disconnect(socket, nullptr, &context_, nullptr);
  }

  void ReadHead(QTcpSocket* socket) {
    if (awaitingApproval_.contains(socket)) return;
    const QByteArray bytes = socket->peek(static_cast<qint64>(kMaxRequestHeadBytes));
    RequestHead head;
    size_t headLength = 0;
    switch (ParseRequestHead(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())),
                             head, headLength)) {
      case HeadStatus::kIncomplete:
        return;
      case HeadStatus::kTooLarge:
        return Respond(socket, 431, "the request head is larger than 16 KiB");
      case HeadStatus::kMalformed:
        return Respond(socket, 400, "not an HTTP/1.1 request");
      case HeadStatus::kComplete:
        break;
    }
    // A name that does not resolve to this machine means a page has had its
    // own host name pointed at the loopback address; it gets nothing.
    const auto host = head.Header("host");
    if (!host || !authorities_.contains(Lower(*host))) {
      return Respond(socket, 403, "the Host header must name the bridge's loopback address");
    }
    if (head.IsWebSocketUpgrade()) {
      if (head.method != "GET") return Respond(socket, 400, "a WebSocket handshake must be a GET");
      return Admit(socket, head);
    }
    socket->read(static_cast<qint64>(headLength));
    ServeFile(socket, head);
  }

  static std::string Lower(std::string text) {
    for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
  }

  void ServeFile(QTcpSocket* socket, const RequestHead& head) {
    if (head.method != "GET" && head.method != "HEAD") {
      return Respond(socket, 405, "only GET and HEAD are served");
    }
    const auto file = FindWebFile(head.target);
    if (!file) return Respond(socket, 404, "no such page");
    Release(socket);
    std::string response =
        "HTTP/1.1 200 OK\r\nContent-Type: " + std::string(file->contentType) +
        "\r\nContent-Length: " + std::to_string(file->content.size()) +
        "\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n"
        "X-Frame-Options: DENY\r\nContent-Security-Policy: default-src 'self'; connect-src 'self' "
        "ws://" +
        *head.Header("host") + "; frame-ancestors 'none'\r\nConnection: close\r\n\r\n";
    if (head.method == "GET") response += file->content;
    socket->write(response.data(), static_cast<qint64>(response.size()));
    socket->disconnectFromHost();
  }

  // ---- Origins

  void Admit(QTcpSocket* socket, const RequestHead& head) {
    const auto header = head.Header("origin");
    if (!header) return Respond(socket, 403, "a WebSocket handshake needs an Origin");
    const auto origin = CanonicalOrigin(*header);
    if (!origin) return Respond(socket, 403, "the origin '" + *header + "' is not accepted");
    if (ownOrigins_.contains(*origin)) return HandOver(socket, *origin, false);
    OriginEntry entry;
    if (const std::error_code ec = LookUpOrigin(*origin, entry)) {
      return Respond(socket, 503, "the list of allowed origins cannot be read: " + ec.message());
    }
    switch (entry.access) {
      case OriginAccess::kAllowed:
        return HandOver(socket, *origin, entry.localFiles);
      case OriginAccess::kDenied:
        return Respond(socket, 403, "the origin " + *origin + " is denied");
      case OriginAccess::kUnknown:
        break;
    }
    awaitingApproval_.insert(socket);
    Enqueue(Job{{}, {}, socket, *origin});
  }

  void AskApproval(QTcpSocket* socket, const std::string& origin) {
    awaitingApproval_.erase(socket);
    if (socket->state() != QAbstractSocket::ConnectedState) return;
    const platform::UiServices ui = platform::CurrentUiServices();
    const platform::OriginApproval answer =
        ui.originApprovals ? ui.originApprovals->AskOriginApproval(platform::Utf8ToUtf16(origin))
                           : platform::OriginApproval::kDismissed;
    std::error_code stored;
    if (answer == platform::OriginApproval::kAlways) stored = AllowOrigin(origin, false);
    if (answer == platform::OriginApproval::kDeny) stored = DenyOrigin(origin);
    if (stored) {
      std::cerr << "quorvel host: cannot record the answer for " << origin << ": "
                << stored.message() << "\n";
    }
    // The user may have taken longer than the page was willing to wait.
    if (socket->state() != QAbstractSocket::ConnectedState) return;
    if (answer == platform::OriginApproval::kDeny ||
        answer == platform::OriginApproval::kDismissed) {
      return Respond(socket, 403, "the user did not allow the origin " + origin);
    }
    HandOver(socket, origin, false);
  }

  // The head stays in the socket's buffer; the WebSocket server reads it.
  void HandOver(QTcpSocket* socket, const std::string& origin, bool localFiles) {
    Release(socket);
    admitted_[origin].push_back(localFiles);
    webSockets_.handleConnection(socket);
  }

  // ---- Connections

  void TakeWebSockets() {
    while (QWebSocket* socket = webSockets_.nextPendingConnection()) {
      QObject::connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
      const std::string origin = CanonicalOrigin(socket->origin().toStdString()).value_or("");
      auto admission = admitted_.find(origin);
      if (admission == admitted_.end() || admission->second.empty()) {
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("not admitted"));
        continue;
      }
      const bool localFiles = admission->second.front();
      admission->second.pop_front();
      if (admission->second.empty()) admitted_.erase(admission);
      if (connections_.size() >= limits_.maxConnections) {
        socket->close(
            kTryAgainLater,
            QStringLiteral("too many connections (at most %1)").arg(limits_.maxConnections));
        continue;
      }
      socket->setMaxAllowedIncomingFrameSize(limits_.maxFrameBytes);
      socket->setMaxAllowedIncomingMessageSize(limits_.maxFrameBytes);
      host::SessionPolicy policy;
      policy.caller = {.webOrigin = true, .localFiles = localFiles};
      auto connection =
          std::make_shared<Connection>(socket, origin, policy, limits_.maxMessagesPerSecond);
      connections_.emplace(socket, connection);
      std::weak_ptr<Connection> weak = connection;
      QObject::connect(socket, &QWebSocket::textMessageReceived, &context_,
                       [this, weak](const QString& message) { Receive(weak, message); });
      QObject::connect(socket, &QWebSocket::binaryMessageReceived, &context_, [socket] {
        socket->close(QWebSocketProtocol::CloseCodeDatatypeNotSupported,
                      QStringLiteral("only text frames carry requests"));
      });
      QObject::connect(socket, &QWebSocket::disconnected, &context_,
                       [this, socket] { Closed(socket); });
    }
  }

  void Closed(QWebSocket* socket) {
    const auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    it->second->open = false;
    queuedBytes_ -= it->second->pendingBytes;
    it->second->pendingBytes = 0;
    connections_.erase(it);
  }

  void Receive(const std::weak_ptr<Connection>& weak, const QString& message) {
    const std::shared_ptr<Connection> connection = weak.lock();
    if (!connection || !connection->open || !connection->socket) return;
    QWebSocket* socket = connection->socket;
    if (!connection->limiter.Take()) {
      return socket->close(
          QWebSocketProtocol::CloseCodePolicyViolated,
          QStringLiteral("more than %1 messages a second").arg(limits_.maxMessagesPerSecond));
    }
    if (connection->pending >= limits_.maxPendingRequests) {
      return socket->close(QWebSocketProtocol::CloseCodePolicyViolated,
                           QStringLiteral("more than %1 requests waiting for an answer")
                               .arg(limits_.maxPendingRequests));
    }
    std::string text;
    try {
      text = message.toStdString();
    } catch (const std::bad_alloc&) {
      return socket->close(kTryAgainLater, QStringLiteral("out of memory"));
    }
    if (queuedBytes_ + text.size() > limits_.maxQueuedBytes) {
      return socket->close(kTryAgainLater, QStringLiteral("the bridge is busy"));
    }
    ++connection->pending;
    connection->pendingBytes += text.size();
    queuedBytes_ += text.size();
    Enqueue(Job{weak, std::move(text), {}, {}});
  }

  // ---- The one queue

  void Enqueue(Job job) {
    jobs_.push_back(std::move(job));
    if (!drainPosted_) {
      drainPosted_ = true;
      QTimer::singleShot(0, &context_, [this] { Drain(); });
    }
  }

  // Runs the jobs in order. A dialog opened by a job runs a nested event
  // loop, which may post another Drain: that one returns at once, and the
  // loop below picks up whatever arrived meanwhile.
  void Drain() {
    drainPosted_ = false;
    if (draining_) return;
    draining_ = true;
    while (!jobs_.empty()) {
      Job job = std::move(jobs_.front());
      jobs_.pop_front();
      if (job.handshake || !job.origin.empty()) {
        if (job.handshake) AskApproval(job.handshake, job.origin);
        continue;
      }
      Run(job);
    }
    draining_ = false;
  }

  void Run(Job& job) {
    const std::shared_ptr<Connection> connection = job.connection.lock();
    if (!connection || !connection->open) return;
    connection->pendingBytes -= job.message.size();
    queuedBytes_ -= job.message.size();
    const std::shared_ptr<host::RpcSession> session = connection->session;
    std::string response = session->HandleMessage(job.message);
    job.message.clear();
    job.message.shrink_to_fit();
    --connection->pending;
    if (!connection->open || !connection->socket || response.empty()) return;
    connection->socket->sendTextMessage(QString::fromStdString(response));
  }

  BridgeLimits limits_;
  QWebSocketServer webSockets_;
  std::vector<std::unique_ptr<QTcpServer>> servers_;
  std::vector<ListenAddress> addresses_;
  std::set<std::string> authorities_;
  std::set<std::string> ownOrigins_;
  std::set<QTcpSocket*> handshakes_;
  std::set<QTcpSocket*> awaitingApproval_;
  // Origins admitted to the WebSocket server, waiting for their connection
  // to come out of it: whether each may name local files.
  std::map<std::string, std::deque<bool>> admitted_;
  std::map<QWebSocket*, std::shared_ptr<Connection>> connections_;
  std::deque<Job> jobs_;
  size_t queuedBytes_ = 0;
  bool draining_ = false;
  bool drainPosted_ = false;
  // Receives every signal the bridge handles; declared last so that it goes
  // first, and no signal reaches a member that is already gone.
  QObject context_;
};

BridgeServer::BridgeServer(BridgeLimits limits) : impl_(std::make_unique<Impl>(limits)) {}
BridgeServer::~BridgeServer() = default;

bool BridgeServer::Listen(const ListenAddress& address, std::string& error) {
  return impl_->Listen(address, error);
}

std::vector<ListenAddress> BridgeServer::Addresses() const {
  return impl_->Addresses();
}

}  // namespace quorvel::bridge
