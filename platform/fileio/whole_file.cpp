#include "platform/fileio/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
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

bool ReadRegularFile(const std::string& path, uint64_t sizeLimit, Links links, std::string& data) {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  // O_NONBLOCK: opening a FIFO or a device must not wait for a peer; anything
  // but a regular file is refused below.
  const int flags =
      O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (links == Links::kRefused ? O_NOFOLLOW : 0);
  const UniqueFd fd(::open(path.c_str(), flags));
  if (!fd.valid()) return false;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  const auto size = static_cast<uint64_t>(info.st_size);
  if (size == 0 || size > sizeLimit) return false;
  std::string read(static_cast<size_t>(size), '\0');
  size_t done = 0;
  while (done < read.size()) {
    const ssize_t got = ::read(fd.get(), read.data() + done, read.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  if (done == 0) return false;
  read.resize(done);
  data = std::move(read);
  return true;
}

bool AppendToFile(const std::filesystem::path& path, std::string_view text) {
  const UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
  return fd.valid() && WriteAll(fd.get(), text);
}

std::string_view PathSeparators() {
  return "/";
}

FileNameRules PlatformFileNameRules() {
  return {};
}

}  // namespace quorvel::platform
