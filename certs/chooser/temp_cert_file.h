// The file the chooser's view button writes, so the desktop's certificate
// viewer can open it: <user temporary directory>/Drennic/Quorvel/temp.cer.
//
// The user temporary directory is private to the user even on a shared
// machine: $XDG_RUNTIME_DIR when it is an absolute path to a directory the user
// owns that no one else can enter; otherwise a folder "quorvel-<uid>" made 0700
// under $TMPDIR (when absolute) or /tmp, used only when it is a real directory
// of the user's with no access for others. "Drennic" and "Quorvel" are created
// 0700, and no symbolic link is followed below the temporary directory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace quorvel::certs {

enum class TempCertResult {
  kWritten,
  kFolderFailed,  // the temporary directory or one of the folders is not usable
  kFileFailed,    // the file could not be opened or written
};

// The user temporary directory; empty when none is usable.
std::filesystem::path UserTemporaryDirectory();

// Writes `der` to the file, replacing an earlier one; `path` receives its path
// when written.
TempCertResult WriteTempCertificate(std::span<const uint8_t> der, std::filesystem::path& path);

}  // namespace quorvel::certs
