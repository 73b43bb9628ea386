// Files written whole: every byte or a failure, and a file that takes its
// name only once it holds all of them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace quorvel::platform {

// Writes all of `data` to `fd`, going on after interruptions and short
// writes; false at the first failure.
bool WriteAll(int fd, std::span<const uint8_t> data);
bool WriteAll(int fd, std::string_view data);

enum class ExistingFile { kKept, kReplaced };

// Writes `data` to a new file of mode 0600 beside `path`, syncs it, and gives
// it the name: renamed over whatever is at `path` (kReplaced: a link there is
// replaced, not followed, and a failure leaves the old file whole) or linked
// only where nothing is (kKept). A reader never sees part of the file, and the
// temporary file never remains. 0, or the error number of the step that
// failed (EEXIST where kKept met an existing name).
int WriteFileBeside(const std::string& path, std::string_view data, ExistingFile existing);

enum class Links { kFollowed, kRefused };

// Reads the whole regular file at `path` (UTF-8) into `data`. Opening never
// waits (a FIFO or a device is refused, not waited on), and with kRefused a
// path that is a symbolic link is refused. False for anything but a regular
// file, an empty one, one of more than `sizeLimit` bytes, or a failed read; a
// file that shrinks while being read gives what it still held.
bool ReadRegularFile(const std::string& path, uint64_t sizeLimit, Links links, std::string& data);

// Appends `text` to the file at `path` in one write, creating it (private to
// the user) when missing; false on failure.
bool AppendToFile(const std::filesystem::path& path, std::string_view text);

// The characters that separate a path's folders on this platform; the first
// is the one to write.
std::string_view PathSeparators();

// What this platform's file names may not be, beyond holding a separator.
struct FileNameRules {
  std::u16string_view forbidden;  // characters no name may hold
  bool devicesReserved = false;   // CON, PRN, AUX, NUL, COM1-9 and LPT1-9, with any extension
  bool trailingDotsAndSpacesDropped = false;  // the platform drops them from a name
};
FileNameRules PlatformFileNameRules();

}  // namespace quorvel::platform
