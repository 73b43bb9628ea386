// Files written whole: every byte or a failure, and a file that takes its
// name only once it holds all of them.
#pragma once

#include <cstdint>
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

}  // namespace quorvel::platform
