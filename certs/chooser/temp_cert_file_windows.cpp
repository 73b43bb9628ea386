// The viewer's file on Windows: <the user's temporary folder>\Drennic\Quorvel\temp.cer,
// the temporary folder being the one the platform gives the user.
#include <windows.h>

#include <string>
#include <system_error>

#include "certs/chooser/temp_cert_file.h"
#include "platform/fileio/whole_file.h"

namespace quorvel::certs {

std::filesystem::path UserTemporaryDirectory() {
  wchar_t folder[MAX_PATH + 2];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH + 1) return {};
  std::error_code error;
  const std::filesystem::path path(std::wstring(folder, length));
  return std::filesystem::is_directory(path, error) ? path : std::filesystem::path();
}

TempCertResult WriteTempCertificate(std::span<const uint8_t> der, std::filesystem::path& path) {
  const std::filesystem::path temporary = UserTemporaryDirectory();
  if (temporary.empty()) return TempCertResult::kFolderFailed;
  std::filesystem::path folder = temporary;
  for (const wchar_t* name : {L"Drennic", L"Quorvel"}) {
    folder /= name;
    if (CreateDirectoryW(folder.c_str(), nullptr) == 0 && GetLastError() != ERROR_ALREADY_EXISTS) {
      return TempCertResult::kFolderFailed;
    }
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      return TempCertResult::kFolderFailed;
    }
  }
  const std::filesystem::path file = folder / L"temp.cer";
  const std::string data(der.begin(), der.end());
  const std::u8string utf8 = file.u8string();
  if (platform::WriteFileBeside(std::string(utf8.begin(), utf8.end()), data,
                                platform::ExistingFile::kReplaced) != 0) {
    return TempCertResult::kFileFailed;
  }
  path = file;
  return TempCertResult::kWritten;
}

}  // namespace quorvel::certs
