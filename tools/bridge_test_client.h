// A small WebSocket client for the bridge's tests, on plain sockets so that it
// can send what a browser never would: no Origin, wrong frames, huge lengths.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::tools {

struct WsFrame {
  int opcode = 0;
  std::string payload;
  // For a close frame: its code, and the reason after it.
  int CloseCode() const {
    return payload.size() >= 2
               ? (static_cast<uint8_t>(payload[0]) << 8) | static_cast<uint8_t>(payload[1])
               : 0;
  }
  std::string CloseReason() const { return payload.size() > 2 ? payload.substr(2) : ""; }
};

class WsClient {
 public:
  WsClient() = default;
  WsClient(const WsClient&) = delete;
  WsClient& operator=(const WsClient&) = delete;
  ~WsClient() { Close(); }

  bool Connect(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }

  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  // Sends a handshake and returns the response's status code (101 when the
  // connection is now a WebSocket), or 0 when none came.
  int Handshake(uint16_t port, std::optional<std::string> origin, std::string host = "") {
    if (!SendHandshake(port, std::move(origin), std::move(host))) return 0;
    return HandshakeStatus();
  }

  bool SendHandshake(uint16_t port, std::optional<std::string> origin, std::string host = "") {
    if (host.empty()) host = "127.0.0.1:" + std::to_string(port);
    std::string request =
        "GET / HTTP/1.1\r\nHost: " + host +
        "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n";
    if (origin) request += "Origin: " + *origin + "\r\n";
    request += "\r\n";
    return Write(request);
  }

  // The status of the response to a handshake sent, or 0 when none came.
  int HandshakeStatus() {
    std::string head;
    while (head.find("\r\n\r\n") == std::string::npos) {
      char c = 0;
      if (!ReadExactly(&c, 1, 30000)) return 0;
      head += c;
    }
    if (head.size() < 12 || !head.starts_with("HTTP/1.1 ")) return 0;
    return std::stoi(head.substr(9, 3));
  }

  bool SendFrame(int opcode, std::string_view payload) {
    return Write(FrameHeader(opcode, payload.size()) + std::string(payload));
  }
  bool SendText(std::string_view text) { return SendFrame(1, text); }

  // The header of a masked frame of `length` bytes. The masking key is zero,
  // so the payload goes as it is.
  static std::string FrameHeader(int opcode, uint64_t length) {
    std::string header(1, static_cast<char>(0x80 | opcode));
    if (length < 126) {
      header += static_cast<char>(0x80 | length);
    } else if (length < 65536) {
      header += static_cast<char>(0x80 | 126);
      header += static_cast<char>(length >> 8);
      header += static_cast<char>(length & 0xFF);
    } else {
      header += static_cast<char>(0x80 | 127);
      for (int shift = 56; shift >= 0; shift -= 8)
        header += static_cast<char>((length >> shift) & 0xFF);
    }
    header += std::string(4, '\0');  // masking key 0
    return header;
  }
  bool Write(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent < 0 && errno == EINTR) continue;
      if (sent <= 0) return false;
      bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
  }

  // The next frame from the bridge; nullopt on timeout or a closed socket.
  std::optional<WsFrame> ReadFrame(int timeoutMs = 30000) {
    unsigned char header[2];
    if (!ReadExactly(header, 2, timeoutMs)) return std::nullopt;
    uint64_t length = header[1] & 0x7F;
    if (length >= 126) {
      unsigned char extended[8];
      const size_t size = length == 126 ? 2 : 8;
      if (!ReadExactly(extended, size, timeoutMs)) return std::nullopt;
      length = 0;
      for (size_t i = 0; i < size; ++i) length = (length << 8) | extended[i];
    }
    WsFrame frame;
    frame.opcode = header[0] & 0x0F;
    frame.payload.resize(length);
    if (length > 0 && !ReadExactly(frame.payload.data(), length, timeoutMs)) return std::nullopt;
    return frame;
  }

  // Sends a JSON-RPC message and returns the parsed answer (null on failure).
  nlohmann::json Call(const nlohmann::json& message) {
    if (!SendText(message.dump())) return nullptr;
    const auto frame = ReadFrame();
    if (!frame || frame->opcode != 1) return nullptr;
    return nlohmann::json::parse(frame->payload, nullptr, false);
  }

  // Reads until the bridge closes; the close frame, if it sent one.
  std::optional<WsFrame> CloseFrame(int timeoutMs = 30000) {
    while (auto frame = ReadFrame(timeoutMs)) {
      if (frame->opcode == 8) return frame;
    }
    return std::nullopt;
  }

 private:
  bool ReadExactly(void* buffer, size_t size, int timeoutMs) {
    auto* out = static_cast<char*>(buffer);
    while (size > 0) {
      pollfd watch{fd_, POLLIN, 0};
      if (::poll(&watch, 1, timeoutMs) <= 0) return false;
      const ssize_t got = ::recv(fd_, out, size, 0);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      out += got;
      size -= static_cast<size_t>(got);
    }
    return true;
  }

  int fd_ = -1;
};

}  // namespace quorvel::tools
