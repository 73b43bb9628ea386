// The Open and Save dialogs and message boxes as Qt dialogs.
#pragma once

#include "platform/ui/ui_services.h"

namespace quorvel::platform::qt {

class QtFileDialogs final : public FileDialogs {
 public:
  DialogResult ShowOpenDialog(const OpenDialogRequest& request) override;
  DialogResult ShowSaveDialog(const SaveDialogRequest& request) override;
};

class QtMessageBoxes final : public MessageBoxes {
 public:
  MessageBoxAnswer ShowMessageBox(const MessageBoxRequest& request) override;
};

class QtFileViewer final : public FileViewer {
 public:
  // Hands the file to the desktop (xdg-open or its portal) without waiting.
  bool OpenWithViewer(const std::filesystem::path& file) override;
};

}  // namespace quorvel::platform::qt
