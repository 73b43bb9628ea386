// Whole files on the platform's own file functions. Paths are UTF-8 and go to
// the wide-character functions.
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <cerrno>
#include <climits>
#include <random>
#include <string>

#include "platform/fileio/whole_file.h"
#include "platform/text/code_page.h"

namespace quorvel::platform {
namespace {

std::wstring WidePath(std::string_view path) {
  const std::u16string units = Utf8ToUtf16(path);
  return std::wstring(units.begin(), units.end());
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Close(); }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  void Reset(HANDLE handle) {
    Close();
    handle_ = handle;
  }
  bool Close() {
    const bool closed = !valid() || CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

// The security identifier of the user this process runs as, in text; empty
// when it cannot be read.
std::wstring CurrentUserSid() {
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) == 0) return {};
  const Handle held(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER)) return {};
  std::string buffer(size, '\0');
  if (GetTokenInformation(token, TokenUser, buffer.data(), size, &size) == 0) return {};
  wchar_t* text = nullptr;
  if (ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid, &text) ==
      0) {
    return {};
  }
  std::wstring sid(text);
  LocalFree(text);
  return sid;
}

// What a new file is made with: a protected access list that lets only the
// user in, whatever the folder would pass on to it. The user by name rather
// than as "owner rights", which Wine does not map to the file's owner.
class PrivateFile {
 public:
  PrivateFile() {
    const std::wstring sid = CurrentUserSid();
    if (sid.empty()) return;
    const std::wstring text = L"D:P(A;;FA;;;" + sid + L")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1,
                                                             &descriptor, nullptr) != 0) {
      attributes_.lpSecurityDescriptor = descriptor;
    }
  }
  PrivateFile(const PrivateFile&) = delete;
  PrivateFile& operator=(const PrivateFile&) = delete;
  ~PrivateFile() { LocalFree(attributes_.lpSecurityDescriptor); }
  // Null when the descriptor could not be made: no file is made then.
  SECURITY_ATTRIBUTES* attributes() {
    return attributes_.lpSecurityDescriptor != nullptr ? &attributes_ : nullptr;
  }

 private:
  SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

bool WriteWhole(HANDLE file, std::string_view data) {
  while (!data.empty()) {
    const DWORD chunk =
        data.size() > (DWORD{1} << 30) ? (DWORD{1} << 30) : static_cast<DWORD>(data.size());
    DWORD written = 0;
    if (WriteFile(file, data.data(), chunk, &written, nullptr) == 0 || written == 0) return false;
    data.remove_prefix(written);
  }
  return true;
}

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

}  // namespace

bool WriteAll(int fd, std::span<const uint8_t> data) {
  while (!data.empty()) {
    const unsigned chunk =
        data.size() > (1u << 30) ? (1u << 30) : static_cast<unsigned>(data.size());
    const int written = ::_write(fd, data.data(), chunk);
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
  if (path.empty() || path.find('\0') != std::string::npos) return EINVAL;
  const size_t separator = path.find_last_of(PathSeparators());
  const std::string folder =
      separator == std::string::npos ? std::string(".\\") : path.substr(0, separator + 1);
  std::random_device random;
  const std::wstring target = WidePath(path);
  std::wstring temporary;
  PrivateFile privateFile;
  if (privateFile.attributes() == nullptr) return EACCES;
  Handle file(INVALID_HANDLE_VALUE);
  for (int attempt = 0; attempt < 16 && !file.valid(); ++attempt) {
    temporary = WidePath(folder + ".quorvel-" + std::to_string(random()) + ".tmp");
    // Only this process may open it while it is being written.
    file.Reset(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, privateFile.attributes(),
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!file.valid()) return ErrnoOf(GetLastError());
  bool placed = WriteWhole(file.get(), data) && FlushFileBuffers(file.get()) != 0 && file.Close();
  DWORD cause = placed ? ERROR_SUCCESS : GetLastError();
  file.Close();
  if (placed) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails where the name exists.
    const DWORD flags = MOVEFILE_WRITE_THROUGH |
                        (existing == ExistingFile::kReplaced ? MOVEFILE_REPLACE_EXISTING : 0);
    placed = MoveFileExW(temporary.c_str(), target.c_str(), flags) != 0;
    if (!placed) cause = GetLastError();
  }
  if (!placed) DeleteFileW(temporary.c_str());
  return placed ? 0 : ErrnoOf(cause);
}

bool ReadRegularFile(const std::string& path, uint64_t sizeLimit, Links links, std::string& data) {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  // A reparse point (a symbolic link or junction) is opened itself, not
  // followed, when links are refused, and then turned away below.
  const DWORD flags =
      FILE_ATTRIBUTE_NORMAL | (links == Links::kRefused ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  Handle file(CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, flags, nullptr));
  if (!file.valid() || GetFileType(file.get()) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(file.get(), &info) == 0 ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return false;
  }
  const uint64_t size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  std::string read;
  if (size == 0 || size > sizeLimit || size > read.max_size()) return false;
  read.resize(static_cast<size_t>(size));
  size_t done = 0;
  while (done < read.size()) {
    const size_t left = read.size() - done;
    const DWORD chunk = left > (size_t{1} << 30) ? (DWORD{1} << 30) : static_cast<DWORD>(left);
    DWORD got = 0;
    if (ReadFile(file.get(), read.data() + done, chunk, &got, nullptr) == 0) return false;
    if (got == 0) break;
    done += got;
  }
  if (done == 0) return false;
  read.resize(done);
  data = std::move(read);
  return true;
}

bool AppendToFile(const std::filesystem::path& path, std::string_view text) {
  if (text.size() > (size_t{1} << 30)) return false;
  PrivateFile privateFile;
  if (privateFile.attributes() == nullptr) return false;
  // FILE_APPEND_DATA alone: every write goes to the end, whole.
  Handle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          privateFile.attributes(), OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  DWORD written = 0;
  return WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) !=
             0 &&
         written == text.size();
}

std::string_view PathSeparators() {
  return "\\/";
}

FileNameRules PlatformFileNameRules() {
  return {.forbidden = u"<>:\"|?*", .devicesReserved = true, .trailingDotsAndSpacesDropped = true};
}

}  // namespace quorvel::platform
