// A `quorvel host` process of this build with pipes to its standard input
// and output, as a client of the host runs it.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace quorvel::bench {

// A `quorvel host` process with pipes to its standard input and output.
class HostProcess {
 public:
  // `settings` are the QUORVEL_ variables besides the home; the caller's own
  // are not passed on.
  HostProcess(std::vector<std::string> arguments, const std::string& home,
              std::vector<std::string> settings = {"QUORVEL_UI=none"}) {
    std::vector<std::string> environment = std::move(settings);
    environment.push_back("QUORVEL_HOME=" + home);
    for (char** entry = environ; *entry != nullptr; ++entry) {
      if (!std::string_view(*entry).starts_with("QUORVEL_")) environment.emplace_back(*entry);
    }
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    arguments.insert(arguments.begin(), QUORVEL_PROGRAM);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    in_ = in[1];
    out_ = out[0];
  }
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;
  ~HostProcess() {
    ::close(in_);
    ::close(out_);
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }

  // A line read straight into the buffer's end; a line that ends the
  // buffer is handed over rather than copied.
  std::string ReadLine() {
    size_t scanned = 0;
    size_t newline = 0;
    while ((newline = buffer_.find('\n', scanned)) == std::string::npos) {
      scanned = buffer_.size();
      buffer_.resize(scanned + kReadBytes);
      const ssize_t got = ::read(out_, buffer_.data() + scanned, kReadBytes);
      buffer_.resize(scanned + static_cast<size_t>(std::max<ssize_t>(got, 0)));
      if (got <= 0) return {};
    }
    if (newline + 1 == buffer_.size()) {
      std::string line = std::move(buffer_);
      buffer_ = std::string();
      line.pop_back();
      return line;
    }
    std::string line = buffer_.substr(0, newline);
    buffer_.erase(0, newline + 1);
    return line;
  }
  bool WriteLine(const std::string& line) {
    char newline = '\n';
    iovec parts[] = {{const_cast<char*>(line.data()), line.size()}, {&newline, 1}};
    size_t left = line.size() + 1;
    for (iovec* part = parts; left > 0;) {
      const ssize_t wrote = ::writev(in_, part, static_cast<int>(std::end(parts) - part));
      if (wrote <= 0) return false;
      left -= static_cast<size_t>(wrote);
      for (auto done = static_cast<size_t>(wrote); done > 0;) {
        const size_t step = std::min(done, part->iov_len);
        part->iov_base = static_cast<char*>(part->iov_base) + step;
        part->iov_len -= step;
        done -= step;
        if (part->iov_len == 0) ++part;
      }
    }
    return true;
  }

  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = 0;
  int in_ = -1;
  int out_ = -1;
  std::string buffer_;
  static constexpr size_t kReadBytes = size_t{1} << 20;
};

}  // namespace quorvel::bench
