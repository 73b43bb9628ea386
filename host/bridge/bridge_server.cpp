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
#include <cstring>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <type_traits>

#include "host/bridge/frame_scanner.h"
#include "host/bridge/http_request.h"
#include "host/bridge/peer_owner.h"
#include "host/bridge/web_files.h"
#include "host/web_callers/call_queue.h"

namespace quorvel::bridge {
namespace {

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

QWebSocketProtocol::CloseCode CloseCodeOf(int code) {
  // Qt's close-code type names only the codes of RFC 6455; an application's
  // own code (4000-4999) travels in its representation, which holds 16 bits.
  return std::bit_cast<QWebSocketProtocol::CloseCode>(
      static_cast<std::underlying_type_t<QWebSocketProtocol::CloseCode>>(code));
}

// What the bridge watches of a connection's TCP socket: the control frames
// the client sends, and the answers it has not read.
struct TcpLink {
  QPointer<QTcpSocket> tcp;
  std::weak_ptr<web::WebCaller> caller;  // set once the WebSocket is taken
  FrameScanner frames;
  qint64 scanned = 0;  // bytes at the start of the socket's buffer already scanned
};

// A handshake handed to the WebSocket server, waiting for its connection.
struct Handshake {
  std::string origin;
  bool own = false;         // the bridge's own page
  bool localFiles = false;  // may name local files
  bool refused = false;     // gets only the close frame
  std::shared_ptr<TcpLink> link;
};

// Sends the close frame, and drops the connection if the client has not
// answered it within a second.
void CloseSoon(QWebSocket* socket, const web::Closing& closing) {
  socket->close(CloseCodeOf(closing.code), Text(closing.reason));
  QPointer<QWebSocket> guard(socket);
  QTimer::singleShot(1000, socket, [guard] {
    if (guard) guard->abort();
  });
}

// A WebSocket connection as the call queue sees it.
class SocketLink : public web::CallerLink {
 public:
  SocketLink(QWebSocket* socket, std::shared_ptr<TcpLink> link)
      : socket_(socket), link_(std::move(link)) {}

  size_t Unsent() const override {
    return link_ && link_->tcp ? static_cast<size_t>(link_->tcp->bytesToWrite()) : 0;
  }
  void Send(std::string response) override {
    if (!socket_) return;
    socket_->sendTextMessage(QString::fromStdString(response));
    // Out now rather than when the event loop next finds the socket
    // writable: a client waiting for its answer saves a turn of the loop.
    socket_->flush();
  }
  void Close(const web::Closing& closing) override {
    if (!socket_) return;
    if (closing.code == web::kRefusedCloseCode) return CloseSoon(socket_, closing);
    socket_->close(CloseCodeOf(closing.code), Text(closing.reason));
  }

 private:
  QPointer<QWebSocket> socket_;
  std::shared_ptr<TcpLink> link_;
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
      : limits_(limits),
        gate_(limits.gate),
        calls_(limits.calls, gate_),
        webSockets_(QStringLiteral("Quorvel"), QWebSocketServer::NonSecureMode) {
    QObject::connect(&webSockets_, &QWebSocketServer::newConnection, &context_,
                     [this] { TakeWebSockets(); });
  }

  ~Impl() {
    // Nothing may call back into the members while they go; connections
    // close before the servers they came from.
    const auto connections = std::move(connections_);
    for (const auto& [socket, caller] : connections) {
      QObject::disconnect(socket, nullptr, &context_, nullptr);
      calls_.Closed(*caller);
      socket->abort();
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
  static void Log(const std::string& line) { web::LogWebCallers(line); }

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

  // Stops watching a socket in its head phase, or waiting for the user's answer.
  void Release(QTcpSocket* socket) {
    heads_.remove(socket);
    QObject::disconnect(socket, nullptr, &context_, nullptr);
    if (const auto ticket = waiting_.find(socket); ticket != waiting_.end()) {
      const uint64_t withdrawn = ticket->second;
      waiting_.erase(ticket);
      gate_.Withdraw(withdrawn);
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
    const auto origin = web::CanonicalOrigin(*header);
    if (!origin) return Respond(socket, 403, "the origin '" + *header + "' is not accepted");
    if (ownOrigins_.contains(*origin)) {
      return HandOver(socket, {.origin = *origin, .own = true}, headLength);
    }
    heads_.remove(socket);
    QObject::disconnect(socket, &QIODevice::readyRead, &context_, nullptr);
    QPointer<QTcpSocket> guard(socket);
    const uint64_t ticket = gate_.Admit(
        *origin, [this, guard, origin = *origin, headLength](const web::Admission& admission) {
          // The user may have taken longer than the page was willing to wait.
          if (!guard || guard->state() != QAbstractSocket::ConnectedState) return;
          waiting_.erase(guard.data());
          if (admission.verdict == web::Verdict::kUnavailable) {
            return Respond(guard, 503, admission.detail);
          }
          HandOver(guard,
                   {.origin = origin,
                    .localFiles = admission.localFiles,
                    .refused = admission.verdict != web::Verdict::kAllowed},
                   headLength);
        });
    // Release() withdraws it when the socket goes first.
    if (ticket != 0) waiting_[socket] = ticket;
  }

  // The head stays in the socket's buffer; the WebSocket server reads it.
  void HandOver(QTcpSocket* socket, Handshake handshake, size_t headLength) {
    Release(socket);
    if (!handshake.refused) {
      // Scans what the client sends after its head, before the WebSocket
      // reads it; ScanAfter learns how much the WebSocket left.
      handshake.link = std::make_shared<TcpLink>();
      handshake.link->tcp = socket;
      handshake.link->scanned = static_cast<qint64>(headLength);
      std::weak_ptr<TcpLink> link = handshake.link;
      QObject::connect(socket, &QIODevice::readyRead, &context_,
                       [this, link] { ScanBefore(link); });
    }
    admitted_[PeerKey(socket->peerAddress(), socket->peerPort())] = std::move(handshake);
    webSockets_.handleConnection(socket);
  }

  // ---- Connections

  void TakeWebSockets() {
    while (QWebSocket* socket = webSockets_.nextPendingConnection()) {
      QObject::connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
      const auto found = admitted_.find(PeerKey(socket->peerAddress(), socket->peerPort()));
      if (found == admitted_.end()) {
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("not admitted"));
        continue;
      }
      Handshake handshake = std::move(found->second);
      admitted_.erase(found);
      if (handshake.refused) {
        CloseSoon(socket, web::Refused());
        continue;
      }
      const std::shared_ptr<TcpLink> tcp = handshake.link;
      const std::shared_ptr<web::WebCaller> caller =
          calls_.Open(std::move(handshake.origin), handshake.own, handshake.localFiles,
                      std::make_unique<SocketLink>(socket, tcp));
      if (!caller) continue;
      socket->setMaxAllowedIncomingFrameSize(limits_.maxFrameBytes);
      socket->setMaxAllowedIncomingMessageSize(limits_.maxFrameBytes);
      connections_.emplace(socket, caller);
      std::weak_ptr<web::WebCaller> weak = caller;
      if (tcp && tcp->tcp) {
        tcp->caller = caller;
        // After the WebSocket's own reading, which the socket may queue.
        QObject::connect(
            tcp->tcp, &QIODevice::readyRead, &context_,
            [link = std::weak_ptr<TcpLink>(tcp)] { ScanAfter(link); }, Qt::QueuedConnection);
        QObject::connect(tcp->tcp, &QIODevice::bytesWritten, &context_, [this, weak] {
          if (const auto written = weak.lock()) calls_.Written(written);
        });
        ScanAfter(tcp);
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
    const std::shared_ptr<web::WebCaller> caller = link->caller.lock();
    if (!caller || !caller->open) return;
    if (!wellFormed) return web::CallQueue::Shut(*caller, {1002, "not a WebSocket frame"});
    for (unsigned i = 0; i < controlFrames; ++i) {
      if (!calls_.Charge(*caller)) return;
    }
    // The library answers pings by itself, whether the client reads or not.
    calls_.CheckUnread(*caller);
  }

  static void ScanAfter(const std::weak_ptr<TcpLink>& weak) {
    const std::shared_ptr<TcpLink> link = weak.lock();
    if (link && link->tcp) link->scanned = link->tcp->bytesAvailable();
  }

  void Closed(QWebSocket* socket) {
    const auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    calls_.Closed(*it->second);
    connections_.erase(it);
  }

  void Receive(const std::weak_ptr<web::WebCaller>& weak, const QString& message) {
    const std::shared_ptr<web::WebCaller> caller = weak.lock();
    if (!caller || !caller->open) return;
    std::string text;
    try {
      text = message.toStdString();
    } catch (const std::bad_alloc&) {
      return web::CallQueue::Shut(*caller, {1013, "out of memory"});
    }
    calls_.Receive(caller, std::move(text));
  }

  BridgeLimits limits_;
  web::OriginGate gate_;
  web::CallQueue calls_;
  QWebSocketServer webSockets_;
  std::vector<std::unique_ptr<QTcpServer>> servers_;
  std::vector<ListenAddress> addresses_;
  std::set<std::string> authorities_;
  std::set<std::string> ownOrigins_;
  // Sockets whose request head is still arriving, oldest first.
  std::list<QTcpSocket*> heads_;
  // Handshakes waiting for the user's answer, with their tickets.
  std::map<QTcpSocket*, uint64_t> waiting_;
  // Handshakes handed to the WebSocket server, by the client's address and port.
  std::map<std::string, Handshake> admitted_;
  std::map<QWebSocket*, std::shared_ptr<web::WebCaller>> connections_;
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
