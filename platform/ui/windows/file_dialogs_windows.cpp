// The platform's Open and Save dialogs and its shell's viewer.
#include <windows.h>
// After windows.h, which they need.
#include <commdlg.h>
#include <shellapi.h>

#include <string>

#include "platform/text/code_page.h"
#include "platform/ui/windows/windows_dialogs.h"

namespace quorvel::platform::windows {
namespace {

// Long enough for any path the platform accepts with the \\?\ prefix.
constexpr DWORD kPathCapacity = 32768;

// The dialog's one filter: its text shown and used as the pattern, each
// ended by a NUL, and the list by another.
std::u16string FilterList(const std::u16string& filter) {
  const std::u16string pattern = filter.empty() ? u"*.*" : filter;
  return pattern + u'\0' + pattern + u'\0';
}

DialogResult Outcome(BOOL chosen, const std::u16string& path) {
  DialogResult result;
  if (chosen != 0) {
    result.outcome = DialogOutcome::kChosen;
    result.path = Utf16ToUtf8(path.c_str());
  } else {
    // No extended error: the user cancelled.
    result.outcome =
        CommDlgExtendedError() == 0 ? DialogOutcome::kCancelled : DialogOutcome::kFailed;
  }
  return result;
}

// The dialog's description over `path` (kPathCapacity units), `filters` and
// `title`, which outlive it.
OPENFILENAMEW Dialog(std::u16string& path, const std::u16string& filters,
                     const std::u16string& title) {
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = GetActiveWindow();
  dialog.lpstrFilter = Wide(filters);
  dialog.lpstrFile = reinterpret_cast<wchar_t*>(path.data());
  dialog.nMaxFile = kPathCapacity;
  dialog.lpstrTitle = title.empty() ? nullptr : Wide(title);
  dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  return dialog;
}

class WindowsFileDialogs final : public FileDialogs {
 public:
  DialogResult ShowOpenDialog(const OpenDialogRequest& request) override {
    std::u16string path(kPathCapacity, u'\0');
    const std::u16string filters = FilterList(request.filter);
    OPENFILENAMEW dialog = Dialog(path, filters, request.title);
    dialog.Flags |= (request.pathMustExist ? OFN_PATHMUSTEXIST : 0) |
                    (request.fileMustExist ? OFN_FILEMUSTEXIST : 0);
    return Outcome(GetOpenFileNameW(&dialog), path);
  }

  DialogResult ShowSaveDialog(const SaveDialogRequest& request) override {
    std::u16string path = request.suggestedName.substr(0, kPathCapacity - 1);
    path.resize(kPathCapacity, u'\0');
    const std::u16string filters = FilterList(request.filter);
    OPENFILENAMEW dialog = Dialog(path, filters, request.title);
    dialog.lpstrDefExt =
        request.defaultExtension.empty() ? nullptr : Wide(request.defaultExtension);
    dialog.Flags |= (request.overwritePrompt ? OFN_OVERWRITEPROMPT : 0) |
                    (request.createPrompt ? OFN_CREATEPROMPT : 0) |
                    (request.pathMustExist ? OFN_PATHMUSTEXIST : 0);
    return Outcome(GetSaveFileNameW(&dialog), path);
  }
};

class ShellViewer final : public FileViewer {
 public:
  bool OpenWithViewer(const std::filesystem::path& file) override {
    const std::wstring path = file.wstring();
    // The shell's result is above 32 when it started the viewer.
    return reinterpret_cast<INT_PTR>(
               ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32;
  }
};

}  // namespace

std::shared_ptr<FileDialogs> MakeFileDialogs() {
  return std::make_shared<WindowsFileDialogs>();
}

std::shared_ptr<FileViewer> MakeFileViewer() {
  return std::make_shared<ShellViewer>();
}

}  // namespace quorvel::platform::windows
