#include "files/file_routines.h"

#include <algorithm>
#include <new>

#include "platform/fileio/whole_file.h"
#include "platform/text/code_page.h"
#include "platform/ui/ui_services.h"

namespace quorvel::files {
namespace {

// A path holding NUL would name a shorter, different path to the system.
bool IsUsablePath(std::string_view path) {
  return !path.empty() && path.find('\0') == std::string_view::npos;
}

using platform::Links;

int32_t ReadPath(std::string_view path, uint64_t sizeLimit, Links links, FileContents& file) {
  if (!IsUsablePath(path)) return kFileFailed;
  // The name is what follows the last separator; a path without one names no file.
  const size_t separator = path.find_last_of(platform::PathSeparators());
  if (separator == std::string_view::npos) return kFileFailed;
  FileContents read;
  try {
    if (!platform::ReadRegularFile(std::string(path), std::min(sizeLimit, kMaxFileSize - 1), links,
                                   read.data)) {
      return kFileFailed;
    }
    read.name = platform::Utf8ToUtf16(path.substr(separator + 1));
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
