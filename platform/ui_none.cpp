#include "platform/ui_none.h"

namespace quorvel::platform {
namespace {

class NoneFileDialogs final : public FileDialogs {
 public:
  DialogResult ShowOpenDialog(const OpenDialogRequest&) override { return {}; }
  DialogResult ShowSaveDialog(const SaveDialogRequest&) override { return {}; }
};

class NoneMessageBoxes final : public MessageBoxes {
 public:
  MessageBoxAnswer ShowMessageBox(const MessageBoxRequest& request) override {
    return DismissedAnswer(request.buttons);
  }
};

}  // namespace

UiServices MakeNoneUiServices() {
  return {std::make_shared<NoneFileDialogs>(), std::make_shared<NoneMessageBoxes>()};
}

}  // namespace quorvel::platform
