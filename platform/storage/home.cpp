#include "platform/storage/home.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace quorvel::platform {
namespace {

constexpr mode_t kPrivateDirectory = 0700;

std::error_code LastError() {
  return {errno, std::generic_category()};
}

const char* NonEmptyEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

std::error_code UserHome(std::filesystem::path& home) {
  if (const char* value = NonEmptyEnvironment("HOME")) {
    home = value;
    return {};
  }
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  const int rc = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
  if (rc != 0) return {rc, std::generic_category()};
  if (found == nullptr || found->pw_dir == nullptr || *found->pw_dir == '\0') {
    return std::make_error_code(std::errc::no_such_file_or_directory);
  }
  home = found->pw_dir;
  return {};
}

std::error_code MakePrivateDirectory(const std::filesystem::path& directory) {
  if (::mkdir(directory.c_str(), kPrivateDirectory) == 0) {
    return ::chmod(directory.c_str(), kPrivateDirectory) == 0 ? std::error_code{} : LastError();
  }
  if (errno != EEXIST) return LastError();
  struct stat status {};
  if (::stat(directory.c_str(), &status) != 0) return LastError();
  if (!S_ISDIR(status.st_mode)) return std::make_error_code(std::errc::not_a_directory);
  return {};
}

}  // namespace

std::error_code ResolveHome(std::filesystem::path& home) {
  std::filesystem::path chosen;
  if (const char* value = NonEmptyEnvironment("QUORVEL_HOME")) {
    chosen = value;
  } else if (const char* data = NonEmptyEnvironment("XDG_DATA_HOME");
             data != nullptr && *data == '/') {
    // Relative XDG paths are invalid and ignored, as the base-directory rules say.
    chosen = std::filesystem::path(data) / "quorvel";
  } else {
    std::filesystem::path user;
    if (const std::error_code ec = UserHome(user)) return ec;
    chosen = user / ".local" / "share" / "quorvel";
  }
  std::error_code ec;
  home = std::filesystem::absolute(chosen, ec).lexically_normal();
  return ec;
}

std::error_code EnsureHome(std::filesystem::path& home) {
  if (const std::error_code ec = ResolveHome(home)) return ec;
  std::filesystem::path partial;
  for (const auto& component : home) {
    partial /= component;
    if (component.empty() || partial == partial.root_path()) continue;
    if (const std::error_code ec = MakePrivateDirectory(partial)) return ec;
  }

  struct stat status {};
  if (::stat(home.c_str(), &status) != 0) return LastError();
  if (status.st_uid != ::geteuid()) return std::make_error_code(std::errc::permission_denied);
  if ((status.st_mode & 07777) != kPrivateDirectory &&
      ::chmod(home.c_str(), kPrivateDirectory) != 0) {
    return LastError();
  }
  return {};
}

}  // namespace quorvel::platform
