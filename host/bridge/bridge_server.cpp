#include "host/bridge/bridge_server.h"

#include <unistd.h>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <QtEndian>

#include <bit>
#include <chrono>
#include <cstring>
#include <deque>
#include <iostream>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <type_traits>

#include "host/bridge/frame_scanner.h"
#include "host/bridge/http_request.h"
#include "host/bridge/origins.h"
#include "host/bridge/peer_owner.h"
#include "host/bridge/web_files.h"
#include "host/control_module.h"
#include "host/rpc_session.h"
#include "platform/text/code_page.h"

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

// Qt's close-code type names only the codes of RFC 6455; an application's own
// code (4000-4999) travels in its representation, which holds 16 bits.
const QWebSocketProtocol::CloseCode kRefused = std::bit_cast<QWebSocketProtocol::CloseCode>(
    static_cast<std::underlying_type_t<QWebSocketProtocol::CloseCode>>(kRefusedCloseCode));

// What the bridge watches of a connection's TCP socket: the control frames
// the client sends, and the answers it has not read.
struct Connection;
struct TcpLink {
  QPointer<QTcpSocket> tcp;
  std::weak_ptr<Connection> connection;  // set once the WebSocket is taken
  FrameScanner frames;
  qint64 scanned = 0;  // bytes at the start of the socket's buffer already scanned
};

// A handshake handed to the WebSocket server, waiting for its connection.
struct Admission {
  std::string origin;
  bool own = false;         // the bridge's own page
  bool localFiles = false;  // may name local files
  bool refused = false;     // gets only the close frame
  std::shared_ptr<TcpLink> link;
};

struct Connection {
  Connection(QWebSocket* webSocket, Admission admission, host::SessionPolicy policy,
             const BridgeLimits& limits)
      : socket(webSocket),
        origin(std::move(admission.origin)),
        own(admission.own),
        link(std::move(admission.link)),
        session(std::make_shared<host::RpcSession>(
            host::SessionLimits{.maxObjects = limits.maxObjects}, policy)),
        limiter(limits.maxMessagesPerSecond),
        lastActive(Clock::now()) {}
  QPointer<QWebSocket> socket;
  std::string origin;
  bool own;
  std::shared_ptr<TcpLink> link;
  // Shared with a call that is running, so that a connection closed during a
  // dialog keeps its objects until that call returns.
  std::shared_ptr<host::RpcSession> session;
  RateLimiter limiter;
  unsigned pending = 0;
  size_t pendingBytes = 0;
  bool open = true;
  Clock::time_point lastActive;
  // Requests held back while the client has not read enough of its answers.
  std::deque<std::string> parked;

  qint64 Unsent() const { return link && link->tcp ? link->tcp->bytesToWrite() : 0; }
};

// A request of a connection, for the one thread that runs calls and shows dialogs.
struct Job {
  std::weak_ptr<Connection> connection;
  std::string message;
};

// The question whether an unknown origin may connect, and the handshakes
// waiting for its answer.
struct Waiting {
  QPointer<QTcpSocket> socket;
  size_t headLength = 0;  // the head stays in the socket's buffer for the WebSocket server
};

struct Question {
  uint64_t id = 0;
  std::unique_ptr<host::ApprovalQuestion> window;
  std::vector<Waiting> waiting;
  std::unique_ptr<QTimer> timer;
};

std::string PeerKey(const QHostAddress& address, quint16 port) {
  return address.toString().toStdString() + "|" + std::to_string(port);
}

std::optional<TcpEndpoint> EndpointOf(const QHostAddress& address, quint16 port) {
  TcpEndpoint endpoint;
  endpoint.port = port;
  bool isV4 = false;
  const quint32 v4 = address.toIPv4Address(&isV4);
  if (isV4 && address.protocol() == QAbstractSocket::IPv4Protocol) {
    const quint32 network = qToBigEndian(v4);
    std::memcpy(endpoint.address.data(), &network, 4);
    return endpoint;
  }
  if (address.protocol() != QAbstractSocket::IPv6Protocol) return std::nullopt;
  endpoint.ipv6 = true;
  const Q_IPV6ADDR v6 = address.toIPv6Address();
  std::memcpy(endpoint.address.data(), v6.c, 16);
  return endpoint;
}

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
    idleTimer_.setInterval(1000);
    QObject::connect(&idleTimer_, &QTimer::timeout, &context_, [this] { CloseIdle(); });
    idleTimer_.start();
  }

  ~Impl() {
    // Nothing may call back into the members while they go; questions close
    // unanswered, so that nothing is stored for them, and connections close
    // before the servers they came from.
    questions_.clear();
    const auto connections = std::move(connections_);
    for (const auto& [socket, connection] : connections) {
      QObject::disconnect(socket, nullptr, &context_, nullptr);
      if (connection->socket) connection->socket->abort();
    }
    for (QTcpSocket* socket : heads_) QObject::disconnect(socket, nullptr, &context_, nullptr);
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
  static void Log(const std::string& line) { std::cerr << "quorvel host: " << line << "\n"; }

  // ---- Request heads

  void Accept(QTcpServer& server) {
    while (QTcpSocket* socket = server.nextPendingConnection()) {
      QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
      if (!FromThisUser(*socket)) {
        Log("refused a connection from another user's program (port " +
            std::to_string(socket->peerPort()) + ")");
        socket->abort();
        socket->deleteLater();
        continue;
      }
      // A page's browser sends its head at once; the oldest head still
      // arriving makes room for a new one.
      if (heads_.size() >= limits_.maxHandshakes) {
        Respond(heads_.front(), 503, "too many connections are opening at once");
      }
      heads_.push_back(socket);
      QObject::connect(socket, &QIODevice::readyRead, &context_,
                       [this, socket] { ReadHead(socket); });
      QObject::connect(socket, &QAbstractSocket::disconnected, &context_,
                       [this, socket] { Release(socket); });
      QPointer<QTcpSocket> guard(socket);
      QTimer::singleShot(limits_.handshakeTimeoutMilliseconds, &context_, [this, guard] {
        if (guard && std::find(heads_.begin(), heads_.end(), guard.data()) != heads_.end()) {
          Respond(guard, 408, "the request head did not arrive in time");
        }
      });
    }
  }

  // The kernel's word on who owns the client's socket; refused when it cannot say.
  static bool FromThisUser(const QTcpSocket& socket) {
    const auto client = EndpointOf(socket.peerAddress(), socket.peerPort());
    const auto server = EndpointOf(socket.localAddress(), socket.localPort());
    if (!client || !server) return false;
    const std::optional<uid_t> owner = LocalPeerOwner(*client, *server);
    return owner && *owner == ::geteuid();
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

  // Stops watching a socket in its head phase, or waiting for a question.
  void Release(QTcpSocket* socket) {
    heads_.remove(socket);
    QObject::disconnect(socket, nullptr, &context_, nullptr);
    for (auto it = questions_.begin(); it != questions_.end();) {
      auto& waiting = it->second.waiting;
      std::erase_if(waiting,
                    [socket](const Waiting& w) { return !w.socket || w.socket == socket; });
      // A question nobody waits for any more closes unanswered.
      it = waiting.empty() ? questions_.erase(it) : std::next(it);
    }
  }

  void ReadHead(QTcpSocket* socket) {
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
      return Admit(socket, head, headLength);
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

  void Admit(QTcpSocket* socket, const RequestHead& head, size_t headLength) {
    const auto header = head.Header("origin");
    if (!header) return Respond(socket, 403, "a WebSocket handshake needs an Origin");
    const auto origin = CanonicalOrigin(*header);
    if (!origin) return Respond(socket, 403, "the origin '" + *header + "' is not accepted");
    if (ownOrigins_.contains(*origin)) {
      return HandOver(socket, {.origin = *origin, .own = true}, headLength);
    }
    OriginEntry entry;
    if (const std::error_code ec = origins_.LookUp(*origin, entry)) {
      return Respond(socket, 503, "the list of allowed origins cannot be read: " + ec.message());
    }
    switch (entry.access) {
      case OriginAccess::kAllowed:
        return HandOver(socket, {.origin = *origin, .localFiles = entry.localFiles}, headLength);
      case OriginAccess::kDenied:
        Log("refused " + *origin + ": denied");
        return HandOver(socket, {.origin = *origin, .refused = true}, headLength);
      case OriginAccess::kUnknown:
        break;
    }
    Ask(socket, *origin, headLength);
  }

  // Puts an unknown origin to the user, or adds the handshake to the
  // question already open for it.
  void Ask(QTcpSocket* socket, const std::string& origin, size_t headLength) {
    heads_.remove(socket);
    QObject::disconnect(socket, &QIODevice::readyRead, &context_, nullptr);
    if (const auto open = questions_.find(origin); open != questions_.end()) {
      if (open->second.waiting.size() >= limits_.maxWaitingPerOrigin) {
        Log("refused " + origin + ": too many connections waiting for the user's answer");
        return HandOver(socket, {.origin = origin, .refused = true}, headLength);
      }
      open->second.waiting.push_back({socket, headLength});
      return;
    }
    if (questions_.size() >= limits_.maxPendingApprovals) {
      Log("refused " + origin + ": too many questions open");
      return HandOver(socket, {.origin = origin, .refused = true}, headLength);
    }
    const uint64_t id = ++lastQuestion_;
    Question& question = questions_[origin];
    question.id = id;
    question.waiting.push_back({socket, headLength});
    question.timer = std::make_unique<QTimer>();
    question.timer->setSingleShot(true);
    QObject::connect(question.timer.get(), &QTimer::timeout, &context_, [this, origin, id] {
      Answered(origin, id, platform::OriginApproval::kDismissed, "no answer in time");
    });
    question.timer->start(std::chrono::seconds(limits_.approvalTimeoutSeconds));
    // The module shows the question, as it shows the control's own dialogs.
    // The answer is taken from the event loop, never inside the asking.
    question.window = host::AskOriginApproval(
        platform::Utf8ToUtf16(origin), [this, origin, id](platform::OriginApproval answer) {
          QMetaObject::invokeMethod(
              &context_, [this, origin, id, answer] { Answered(origin, id, answer, ""); },
              Qt::QueuedConnection);
        });
  }

  void Answered(const std::string& origin, uint64_t id, platform::OriginApproval answer,
                const std::string& why) {
    const auto found = questions_.find(origin);
    if (found == questions_.end() || found->second.id != id) return;
    std::vector<Waiting> waiting = std::move(found->second.waiting);
    questions_.erase(found);
    std::error_code stored;
    if (answer == platform::OriginApproval::kAlways) stored = AllowOrigin(origin, false);
    if (answer == platform::OriginApproval::kDeny) stored = DenyOrigin(origin);
    if (stored) Log("cannot record the answer for " + origin + ": " + stored.message());
    const bool allowed = answer == platform::OriginApproval::kAllowOnce ||
                         answer == platform::OriginApproval::kAlways;
    if (!allowed) {
      Log("refused " + origin + ": " +
          (!why.empty()                                ? why
           : answer == platform::OriginApproval::kDeny ? "denied by the user"
                                                       : "not allowed by the user"));
    }
    for (const auto& [socket, headLength] : waiting) {
      // The user may have taken longer than the page was willing to wait.
      if (!socket || socket->state() != QAbstractSocket::ConnectedState) continue;
      HandOver(socket, {.origin = origin, .refused = !allowed}, headLength);
    }
  }

  // The head stays in the socket's buffer; the WebSocket server reads it.
  void HandOver(QTcpSocket* socket, Admission admission, size_t headLength) {
    Release(socket);
    if (!admission.refused) {
      // Scans what the client sends after its head, before the WebSocket
      // reads it; ScanAfter learns how much the WebSocket left.
      admission.link = std::make_shared<TcpLink>();
      admission.link->tcp = socket;
      admission.link->scanned = static_cast<qint64>(headLength);
      std::weak_ptr<TcpLink> link = admission.link;
      QObject::connect(socket, &QIODevice::readyRead, &context_,
                       [this, link] { ScanBefore(link); });
    }
    admitted_[PeerKey(socket->peerAddress(), socket->peerPort())] = std::move(admission);
    webSockets_.handleConnection(socket);
  }

  // ---- Connections

  void TakeWebSockets() {
    while (QWebSocket* socket = webSockets_.nextPendingConnection()) {
      QObject::connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
      const auto admission = admitted_.find(PeerKey(socket->peerAddress(), socket->peerPort()));
      if (admission == admitted_.end()) {
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("not admitted"));
        continue;
      }
      Admission admitted = std::move(admission->second);
      admitted_.erase(admission);
      if (admitted.refused) {
        CloseSoon(socket, kRefused, QString::fromLatin1(kRefusedCloseReason));
        continue;
      }
      if (connections_.size() >= limits_.maxConnections) {
        socket->close(
            kTryAgainLater,
            QStringLiteral("too many connections (at most %1)").arg(limits_.maxConnections));
        continue;
      }
      socket->setMaxAllowedIncomingFrameSize(limits_.maxFrameBytes);
      socket->setMaxAllowedIncomingMessageSize(limits_.maxFrameBytes);
      host::SessionPolicy policy;
      policy.caller = {.webOrigin = true, .localFiles = admitted.localFiles};
      policy.origin = admitted.origin;
      auto connection = std::make_shared<Connection>(socket, std::move(admitted), policy, limits_);
      connections_.emplace(socket, connection);
      std::weak_ptr<Connection> weak = connection;
      if (connection->link && connection->link->tcp) {
        connection->link->connection = connection;
        // After the WebSocket's own reading, which the socket may queue.
        QObject::connect(
            connection->link->tcp, &QIODevice::readyRead, &context_,
            [link = std::weak_ptr<TcpLink>(connection->link)] { ScanAfter(link); },
            Qt::QueuedConnection);
        QObject::connect(connection->link->tcp, &QIODevice::bytesWritten, &context_,
                         [this, weak] { Written(weak); });
        ScanAfter(connection->link);
      }
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

  // Sends the close frame, and drops the connection if the client has not
  // answered it within a second.
  void CloseSoon(QWebSocket* socket, QWebSocketProtocol::CloseCode code, const QString& reason) {
    socket->close(code, reason);
    QPointer<QWebSocket> guard(socket);
    QTimer::singleShot(1000, &context_, [guard] {
      if (guard) guard->abort();
    });
  }

  void ScanBefore(const std::weak_ptr<TcpLink>& weak) {
    const std::shared_ptr<TcpLink> link = weak.lock();
    if (!link || !link->tcp) return;
    const QByteArray buffered = link->tcp->peek(link->tcp->bytesAvailable());
    if (buffered.size() <= link->scanned) return;
    unsigned controlFrames = 0;
    const bool wellFormed =
        link->frames.Feed(std::string_view(buffered.constData() + link->scanned,
                                           static_cast<size_t>(buffered.size() - link->scanned)),
                          controlFrames);
    link->scanned = buffered.size();
    const std::shared_ptr<Connection> found = link->connection.lock();
    if (!found || !found->open) return;
    if (!wellFormed) {
      return Shut(*found, QWebSocketProtocol::CloseCodeProtocolError,
                  QStringLiteral("not a WebSocket frame"));
    }
    for (unsigned i = 0; i < controlFrames; ++i) {
      if (!Charge(*found)) return;
    }
    // The library answers pings by itself, whether the client reads or not.
    if (found->Unsent() > static_cast<qint64>(limits_.maxSendBytes)) CloseUnread(*found);
  }

  // Stops taking anything from a connection and closes it with `code`.
  static void Shut(Connection& connection, QWebSocketProtocol::CloseCode code,
                   const QString& reason) {
    connection.open = false;
    if (connection.socket) connection.socket->close(code, reason);
  }

  static void CloseUnread(Connection& connection) {
    Shut(connection, QWebSocketProtocol::CloseCodePolicyViolated,
         QStringLiteral("the answers are not being read"));
  }

  static void ScanAfter(const std::weak_ptr<TcpLink>& weak) {
    const std::shared_ptr<TcpLink> link = weak.lock();
    if (link && link->tcp) link->scanned = link->tcp->bytesAvailable();
  }

  // Takes one message's worth of the connection's rate; closes it when none is left.
  bool Charge(Connection& connection) {
    if (connection.limiter.Take()) return true;
    if (connection.open) {
      Shut(connection, QWebSocketProtocol::CloseCodePolicyViolated,
           QStringLiteral("more than %1 messages a second").arg(limits_.maxMessagesPerSecond));
    }
    return false;
  }

  void Closed(QWebSocket* socket) {
    const auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    Connection& connection = *it->second;
    connection.open = false;
    queuedBytes_ -= connection.pendingBytes;
    connection.pendingBytes = 0;
    connection.parked.clear();
    connections_.erase(it);
  }

  void Receive(const std::weak_ptr<Connection>& weak, const QString& message) {
    const std::shared_ptr<Connection> connection = weak.lock();
    if (!connection || !connection->open || !connection->socket) return;
    QWebSocket* socket = connection->socket;
    connection->lastActive = Clock::now();
    if (!Charge(*connection)) return;
    if (connection->pending >= limits_.maxPendingRequests) {
      return Shut(*connection, QWebSocketProtocol::CloseCodePolicyViolated,
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
    Enqueue(Job{weak, std::move(text)});
  }

  // A client that reads its answers again gets its held-back requests run,
  // ahead of its later ones.
  void Written(const std::weak_ptr<Connection>& weak) {
    const std::shared_ptr<Connection> connection = weak.lock();
    if (!connection || connection->parked.empty() ||
        connection->Unsent() > static_cast<qint64>(limits_.sendPauseBytes)) {
      return;
    }
    while (!connection->parked.empty()) {
      jobs_.push_front(Job{weak, std::move(connection->parked.back())});
      connection->parked.pop_back();
    }
    PostDrain();
  }

  void CloseIdle() {
    const Clock::time_point now = Clock::now();
    const auto limit = std::chrono::seconds(limits_.idleTimeoutSeconds);
    std::vector<QPointer<QWebSocket>> idle;
    for (const auto& [socket, connection] : connections_) {
      if (!connection->open || connection->pending > 0) continue;
      if (now - connection->lastActive < limit) continue;
      connection->open = false;
      idle.emplace_back(socket);
    }
    for (const QPointer<QWebSocket>& socket : idle) {
      if (socket) {
        socket->close(QWebSocketProtocol::CloseCodeGoingAway,
                      QStringLiteral("idle for %1 seconds").arg(limits_.idleTimeoutSeconds));
      }
    }
  }

  // ---- The one queue

  void Enqueue(Job job) {
    jobs_.push_back(std::move(job));
    PostDrain();
  }

  void PostDrain() {
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
      Run(job);
    }
    draining_ = false;
  }

  void Run(Job& job) {
    const std::shared_ptr<Connection> connection = job.connection.lock();
    if (!connection || !connection->open) return;
    // A client that does not read its answers gets no more of them.
    const qint64 unsent = connection->Unsent();
    if (unsent > static_cast<qint64>(limits_.maxSendBytes)) return CloseUnread(*connection);
    if (unsent > static_cast<qint64>(limits_.sendPauseBytes)) {
      connection->parked.push_back(std::move(job.message));
      return;
    }
    connection->pendingBytes -= job.message.size();
    queuedBytes_ -= job.message.size();
    if (!connection->own && !ApplyOriginRights(*connection)) return;
    const std::shared_ptr<host::RpcSession> session = connection->session;
    std::string response = session->HandleMessage(job.message);
    connection->lastActive = Clock::now();
    job.message.clear();
    job.message.shrink_to_fit();
    --connection->pending;
    if (!connection->open || !connection->socket || response.empty()) return;
    connection->socket->sendTextMessage(QString::fromStdString(response));
  }

  // The origin's rights as they stand now: a denied origin's connection is
  // refused at its next call, one no longer allowed to name local files loses
  // that right; nothing adds to what the connection was admitted with.
  bool ApplyOriginRights(Connection& connection) {
    OriginEntry entry;
    if (const std::error_code ec = origins_.LookUp(connection.origin, entry)) {
      Log("refused a call of " + connection.origin +
          ": the list of allowed origins cannot be read: " + ec.message());
      Shut(connection, QWebSocketProtocol::CloseCodeBadOperation,
           QStringLiteral("the allowed origins cannot be read"));
      return false;
    }
    if (entry.access == OriginAccess::kDenied) {
      Log("refused " + connection.origin + ": denied");
      connection.open = false;
      CloseSoon(connection.socket, kRefused, QString::fromLatin1(kRefusedCloseReason));
      return false;
    }
    if (!(entry.access == OriginAccess::kAllowed && entry.localFiles)) {
      connection.session->RevokeLocalFiles();
    }
    return true;
  }

  BridgeLimits limits_;
  QWebSocketServer webSockets_;
  std::vector<std::unique_ptr<QTcpServer>> servers_;
  std::vector<ListenAddress> addresses_;
  std::set<std::string> authorities_;
  std::set<std::string> ownOrigins_;
  OriginList origins_;
  // Sockets whose request head is still arriving, oldest first.
  std::list<QTcpSocket*> heads_;
  // Open questions, by origin.
  std::map<std::string, Question> questions_;
  uint64_t lastQuestion_ = 0;
  // Handshakes handed to the WebSocket server, by the client's address and port.
  std::map<std::string, Admission> admitted_;
  std::map<QWebSocket*, std::shared_ptr<Connection>> connections_;
  std::deque<Job> jobs_;
  size_t queuedBytes_ = 0;
  bool draining_ = false;
  bool drainPosted_ = false;
  QTimer idleTimer_;
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
