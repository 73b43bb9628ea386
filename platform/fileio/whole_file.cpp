#include "platform/fileio/whole_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fileio/unique_fd.h"

namespace quorvel::platform {

bool WriteAll(int fd, std::span<const uint8_t> data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data = data.subspan(static_cast<std::size_t>(written));
  }
  return true;
}

bool WriteAll(int fd, std::string_view data) {
  return WriteAll(
      fd, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(data.data()), data.size()));
}

int WriteFileBeside(const std::string& path, std::string_view data, ExistingFile existing) {
  const size_t slash = path.rfind('/');
  std::string temporary =
      (slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1)) +
      ".quorvel-XXXXXX";
  UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd.valid()) return errno;
  bool placed = WriteAll(fd.get(), data) && ::fsync(fd.get()) == 0 && fd.Close();
  if (placed) {
    // link() fails where the name exists, so nothing there is ever replaced.
    placed = existing == ExistingFile::kReplaced ? ::rename(temporary.c_str(), path.c_str()) == 0
                                                 : ::link(temporary.c_str(), path.c_str()) == 0;
  }
  const int cause = placed ? 0 : (errno != 0 ? errno : EIO);
  if (!placed || existing == ExistingFile::kKept) ::unlink(temporary.c_str());
  return cause;
}

}  // namespace quorvel::platform
