#include "tools/private_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorvel::tools {
namespace {

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

}  // namespace

bool WritePrivateFile(const std::string& path, std::string_view data, ExistingFile existing,
                      std::string& problem) {
  const size_t slash = path.rfind('/');
  std::string temporary =
      (slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1)) +
      ".quorvel-XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    problem = "cannot create a file beside " + path + ": " + std::strerror(errno);
    return false;
  }
  const bool written = WriteAll(fd, data) && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  bool placed = false;
  if (written && closed) {
    if (existing == ExistingFile::kReplaced) {
      placed = ::rename(temporary.c_str(), path.c_str()) == 0;
    } else {
      // link() fails when the name exists, so nothing there is ever replaced.
      placed = ::link(temporary.c_str(), path.c_str()) == 0;
    }
  }
  const int cause = errno;
  if (!placed || existing == ExistingFile::kKept) ::unlink(temporary.c_str());
  if (!placed) {
    problem = cause == EEXIST ? path + " exists (--force replaces it)"
                              : "cannot write " + path + ": " + std::strerror(cause);
    return false;
  }
  return true;
}

}  // namespace quorvel::tools
