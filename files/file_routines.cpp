#include "files/file_routines.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <new>

#include "platform/fileio/unique_fd.h"
#include "platform/fileio/whole_file.h"
#include "platform/text/code_page.h"
#include "platform/ui/ui_services.h"

namespace quorvel::files {
namespace {

bool ReadAll(int fd, std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t got = ::read(fd, data.data() + done, data.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  // A file that shrank while being read keeps what it still had.
  data.resize(done);
  return done > 0;
}

// A path holding NUL would name a shorter, different path to the system.
bool IsUsablePath(std::string_view path) {
  return !path.empty() && path.find('\0') == std::string_view::npos;
}

enum class Links { kFollowed, kRefused };

int32_t ReadPath(std::string_view path, uint64_t sizeLimit, Links links, FileContents& file) {
  if (!IsUsablePath(path)) return kFileFailed;
  const std::string pathText(path);
  // O_NONBLOCK: opening a FIFO or a device must not wait for a peer; anything
  // but a regular file is refused below. A name given by the caller may not
  // be a symbolic link; one the user picked in the dialog may.
  const int flags =
      O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (links == Links::kRefused ? O_NOFOLLOW : 0);
  const platform::UniqueFd fd(::open(pathText.c_str(), flags));
  if (!fd.valid()) return kFileFailed;
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return kFileFailed;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return kFileFailed;
  const auto size = static_cast<uint64_t>(info.st_size);
  if (size == 0 || size >= kMaxFileSize || size > sizeLimit) return kFileFailed;
  FileContents read;
  try {
    read.data.resize(static_cast<size_t>(size));
    if (!ReadAll(fd.get(), read.data)) return kFileFailed;
    read.name = platform::Utf8ToUtf16(path.substr(slash + 1));
  } catch (const std::bad_alloc&) {
    return kFileFailed;
  }
  file = std::move(read);
  return kFileOk;
}

// Writes the data to a new private file beside `path` and renames it into
// place: a link planted at `path` is replaced rather than followed, a failed
// write leaves the old file whole, and a file saved again under the same name
// holds the newest data.
int32_t WritePath(std::string_view path, std::string_view data) {
  if (!IsUsablePath(path)) return kFileFailed;
  return platform::WriteFileBeside(std::string(path), data, platform::ExistingFile::kReplaced) == 0
             ? kFileOk
             : kFileFailed;
}

int32_t SaveThroughDialog(const platform::SaveDialogRequest& request, std::string_view data) {
  const platform::DialogResult chosen =
      platform::CurrentUiServices().fileDialogs->ShowSaveDialog(request);
  if (chosen.outcome != platform::DialogOutcome::kChosen) return kFileFailed;
  return WritePath(chosen.path, data);
}

}  // namespace

int32_t OpenFileForRead(std::u16string_view title, std::u16string_view filter, FileContents& file,
                        std::optional<std::string_view> path, uint64_t sizeLimit) {
  file = {};
  if (path) return ReadPath(*path, sizeLimit, Links::kRefused, file);
  platform::OpenDialogRequest request;
  request.title = title;
  request.filter = filter;
  const platform::DialogResult chosen =
      platform::CurrentUiServices().fileDialogs->ShowOpenDialog(request);
  switch (chosen.outcome) {
    case platform::DialogOutcome::kChosen:
      return ReadPath(chosen.path, sizeLimit, Links::kFollowed, file);
    case platform::DialogOutcome::kCancelled:
      return kFileDialogCancelled;
    case platform::DialogOutcome::kFailed:
      break;
  }
  return kFileFailed;
}

int32_t SaveFileAs(std::u16string_view title, std::u16string_view filter,
                   std::u16string_view suggestedName, std::string_view data,
                   std::optional<std::string_view> path) {
  if (path) return WritePath(*path, data);
  platform::SaveDialogRequest request;
  request.title = title;
  request.filter = filter;
  request.suggestedName = suggestedName;
  return SaveThroughDialog(request, data);
}

int32_t SaveFileWithExtension(std::u16string_view title, std::u16string_view filter,
                              std::u16string_view defaultExtension, std::string_view data,
                              std::optional<std::string_view> path) {
  if (path) return WritePath(*path, data);
  platform::SaveDialogRequest request;
  request.title = title;
  request.filter = filter;
  request.defaultExtension = defaultExtension;
  return SaveThroughDialog(request, data);
}

}  // namespace quorvel::files
