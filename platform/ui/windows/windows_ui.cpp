#include "platform/ui/windows/windows_ui.h"

#include <windows.h>

#include <memory>
#include <string>

#include "platform/ui/ui_none.h"
#include "platform/ui/windows/windows_dialogs.h"

namespace quorvel::platform::windows {
namespace {

class WindowsMessageBoxes final : public MessageBoxes {
 public:
  MessageBoxAnswer ShowMessageBox(const MessageBoxRequest& request) override {
    UINT style = MB_TASKMODAL | MB_SETFOREGROUND;
    switch (request.buttons) {
      case MessageBoxButtons::kOk:
        style |= MB_OK | MB_ICONINFORMATION;
        break;
      case MessageBoxButtons::kOkCancel:
        style |= MB_OKCANCEL | MB_ICONQUESTION;
        break;
      case MessageBoxButtons::kYesNo:
        style |= MB_YESNO | MB_ICONQUESTION;
        break;
    }
    switch (MessageBoxW(GetActiveWindow(), Wide(request.text), Wide(request.title), style)) {
      case IDOK:
        return MessageBoxAnswer::kOk;
      case IDYES:
        return MessageBoxAnswer::kYes;
      case IDNO:
        return MessageBoxAnswer::kNo;
      case IDCANCEL:
        return MessageBoxAnswer::kCancel;
      default:
        return DismissedAnswer(request.buttons);
    }
  }
};

}  // namespace

UiServices MakeWindowsUiServices() {
  UiServices services = MakeNoneUiServices();
  services.messageBoxes = std::make_shared<WindowsMessageBoxes>();
  services.fileDialogs = MakeFileDialogs();
  services.chooser = MakeChooser();
  services.fileViewer = MakeFileViewer();
  return services;
}

void InstallWindowsUi() {
  SetDesktopUiFactory("windows", &MakeWindowsUiServices);
}

}  // namespace quorvel::platform::windows
