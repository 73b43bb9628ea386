// Whole-file reading and writing, at a given path or through the Open and Save
// dialogs of the UI services. The routines keep no state and report by return
// value; callers turn the codes into error numbers.
//
// Paths are UTF-8 and use "/" as the separator; a file's name is the text
// after the last "/".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::files {

inline constexpr int32_t kFileOk = 0;
inline constexpr int32_t kFileFailed = -1;
inline constexpr int32_t kFileDialogCancelled = -2;

// Files this size or larger are refused: sizes travel as 32-bit values.
inline constexpr uint64_t kMaxFileSize = uint64_t{1} << 32;

struct FileContents {
  std::u16string name;  // the final path component
  std::string data;     // every byte of the file
};

// Reads the file at `path`, or the file the user picks in the Open dialog when
// there is no path. 0; -2 when the dialog was cancelled; -1 for any other
// failure: a dialog that cannot be shown, a path without "/", a file that
// cannot be opened or read, an empty file, one of kMaxFileSize or more or
// larger than `sizeLimit`, a `path` that names a symbolic link (a file the
// user picks in the dialog may be one). On failure `file` is left empty.
int32_t OpenFileForRead(std::u16string_view title, std::u16string_view filter, FileContents& file,
                        std::optional<std::string_view> path = std::nullopt,
                        uint64_t sizeLimit = kMaxFileSize);

// Writes `data` to `path`, or to the file the
// user names in the Save dialog, pre-filled with `suggestedName`, when there is
// no path. The data goes to a new file (mode 0600) in the same folder that is
// then renamed to the name, so a link at the name is replaced, not followed,
// and a failed write leaves an existing file as it was. 0; -1 when the dialog
// was cancelled or failed or the file cannot be created or fully written.
int32_t SaveFileAs(std::u16string_view title, std::u16string_view filter,
                   std::u16string_view suggestedName, std::string_view data,
                   std::optional<std::string_view> path = std::nullopt);

// As SaveFileAs, but the Save dialog starts with an empty name and appends
// `defaultExtension` to a typed name that has none.
int32_t SaveFileWithExtension(std::u16string_view title, std::u16string_view filter,
                              std::u16string_view defaultExtension, std::string_view data,
                              std::optional<std::string_view> path = std::nullopt);

}  // namespace quorvel::files
