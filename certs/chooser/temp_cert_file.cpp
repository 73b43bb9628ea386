#include "certs/chooser/temp_cert_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/fileio/unique_fd.h"
#include "platform/fileio/whole_file.h"

namespace quorvel::certs {
namespace {

constexpr const char* kFolders[] = {"Drennic", "Quorvel"};
constexpr const char* kFileName = "temp.cer";

// A directory only the user can enter, owned by the user, not a link.
bool IsPrivateDirectory(const std::filesystem::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return false;
  return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
         (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

bool IsPrivateDirectory(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return false;
  return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
         (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

std::filesystem::path AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return {};
  return value;
}

// Opens (creating 0700 when missing) the folder `name` inside `parent`,
// refusing a link or a folder others can enter.
int OpenPrivateFolder(int parent, const char* name) {
  if (::mkdirat(parent, name, 0700) != 0 && errno != EEXIST) return -1;
  const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0 && !IsPrivateDirectory(fd)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::filesystem::path UserTemporaryDirectory() {
  if (std::filesystem::path runtime = AbsoluteFromEnvironment("XDG_RUNTIME_DIR");
      !runtime.empty() && IsPrivateDirectory(runtime)) {
    return runtime;
  }
  std::filesystem::path base = AbsoluteFromEnvironment("TMPDIR");
  if (base.empty()) base = "/tmp";
  std::filesystem::path folder = base / ("quorvel-" + std::to_string(::geteuid()));
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
  if (!IsPrivateDirectory(folder)) return {};
  return folder;
}

TempCertResult WriteTempCertificate(std::span<const uint8_t> der, std::filesystem::path& path) {
  const std::filesystem::path base = UserTemporaryDirectory();
  if (base.empty()) return TempCertResult::kFolderFailed;
  platform::UniqueFd directory(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!directory.valid()) return TempCertResult::kFolderFailed;
  std::filesystem::path folderPath = base;
  for (const char* name : kFolders) {
    directory.Reset(OpenPrivateFolder(directory.get(), name));
    if (!directory.valid()) return TempCertResult::kFolderFailed;
    folderPath /= name;
  }
  const platform::UniqueFd file(::openat(
      directory.get(), kFileName, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!file.valid()) return TempCertResult::kFileFailed;
  if (!platform::WriteAll(file.get(), der)) return TempCertResult::kFileFailed;
  path = folderPath / kFileName;
  return TempCertResult::kWritten;
}

}  // namespace quorvel::certs
