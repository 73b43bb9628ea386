#include "host/stdio_transport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace quorvel::host {
namespace {

void Answer(std::ostream& out, const std::string& response) {
  if (response.empty()) return;
  out << response << '\n';
  out.flush();
}

void HandleLine(std::string& line, std::ostream& out, RpcSession& session) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.find_first_not_of(" \t") != std::string::npos) {
    Answer(out, session.HandleOwnedMessage(std::move(line)));
  }
  line.clear();
}

// Reads with `read(buffer, size)`, which returns the bytes it got (at least
// one while input lasts) and 0 or less at its end.
template <typename Read>
void ServeLines(Read&& read, std::ostream& out, RpcSession& session, size_t maxLineBytes) {
  std::vector<char> chunk(size_t{256} << 10);
  std::string line;
  bool oversized = false;
  while (true) {
    const auto got = read(chunk.data(), chunk.size());
    if (got <= 0) break;
    std::string_view data(chunk.data(), static_cast<size_t>(got));
    while (!data.empty()) {
      const size_t newline = data.find('\n');
      const std::string_view piece = data.substr(0, newline);
      if (!oversized) {
        if (line.size() + piece.size() > maxLineBytes) {
          oversized = true;
          line.clear();
          line.shrink_to_fit();
        } else {
          line.append(piece);
        }
      }
      if (newline == std::string_view::npos) break;
      data.remove_prefix(newline + 1);
      if (oversized) {
        Answer(out, RpcSession::OversizedMessageResponse(maxLineBytes));
        oversized = false;
      } else {
        HandleLine(line, out, session);
      }
    }
  }
  if (oversized) {
    Answer(out, RpcSession::OversizedMessageResponse(maxLineBytes));
  } else {
    HandleLine(line, out, session);
  }
}

}  // namespace

void ServeStream(std::istream& in, std::ostream& out, RpcSession& session, size_t maxLineBytes) {
  std::streambuf* source = in.rdbuf();
  ServeLines(
      [source](char* buffer, size_t size) {
        return source->sgetn(buffer, static_cast<std::streamsize>(size));
      },
      out, session, maxLineBytes);
}

// Reads the descriptor directly: a buffered stream would wait for a whole
// buffer before answering a client that sent one line.
void ServeDescriptor(int fd, std::ostream& out, RpcSession& session, size_t maxLineBytes) {
  ServeLines(
      [fd](char* buffer, size_t size) {
        ssize_t got = 0;
        do {
          got = ::read(fd, buffer, size);
        } while (got < 0 && errno == EINTR);
        return got;
      },
      out, session, maxLineBytes);
}

void EnlargePipe(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISFIFO(status.st_mode)) return;
  constexpr int kPipeBytes = 1 << 20;
  if (::fcntl(fd, F_GETPIPE_SZ) < kPipeBytes) (void)::fcntl(fd, F_SETPIPE_SZ, kPipeBytes);
}

}  // namespace quorvel::host
