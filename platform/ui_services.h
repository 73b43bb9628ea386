// The user-interface services the control relies on: the Open and Save file
// dialogs and message boxes. Each service is a small interface of its own, so
// that further services (the certificate chooser, "open this file with its
// viewer") can join the UiServices bundle without touching the existing ones.
//
// Which implementation runs is chosen by the environment variable QUORVEL_UI:
//   script  answers come from the JSON file named by QUORVEL_UI_SCRIPT, and
//           every dialog is logged to the file named by QUORVEL_UI_LOG;
//   none    every dialog counts as cancelled (server use);
//   qt      the Qt dialogs, when a Qt implementation has been installed with
//           SetQtUiFactory; otherwise, and when QUORVEL_UI is unset or holds
//           any other value, `none`.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace quorvel::platform {

enum class DialogOutcome {
  kChosen,     // the user chose a path
  kCancelled,  // the user closed the dialog without choosing
  kFailed,     // the dialog could not be shown
};

struct DialogResult {
  DialogOutcome outcome = DialogOutcome::kCancelled;
  std::string path;  // UTF-8, set when a path was chosen
};

struct OpenDialogRequest {
  std::u16string title;
  std::u16string filter;  // display text of the single filter entry, e.g. "*.*"
  bool pathMustExist = true;
  bool fileMustExist = true;
};

struct SaveDialogRequest {
  std::u16string title;
  std::u16string filter;
  std::u16string suggestedName;     // pre-filled file name, may be empty
  std::u16string defaultExtension;  // appended to a typed name without one, may be empty
  bool overwritePrompt = true;
  bool createPrompt = true;
  bool pathMustExist = true;
};

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  virtual DialogResult ShowOpenDialog(const OpenDialogRequest& request) = 0;
  virtual DialogResult ShowSaveDialog(const SaveDialogRequest& request) = 0;
};

enum class MessageBoxButtons { kOk, kOkCancel, kYesNo };
enum class MessageBoxAnswer { kOk, kCancel, kYes, kNo };

struct MessageBoxRequest {
  std::u16string title;
  std::u16string text;
  MessageBoxButtons buttons = MessageBoxButtons::kOk;
};

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual MessageBoxAnswer ShowMessageBox(const MessageBoxRequest& request) = 0;
};

// One implementation of every service. The bundle owns its services.
struct UiServices {
  std::shared_ptr<FileDialogs> fileDialogs;
  std::shared_ptr<MessageBoxes> messageBoxes;
};

// The answer a dismissed message box gives: OK for a box with only OK, and
// otherwise the negative choice.
MessageBoxAnswer DismissedAnswer(MessageBoxButtons buttons);

// The services QUORVEL_UI selects. The bundle is built on first use and built
// again when QUORVEL_UI, QUORVEL_UI_SCRIPT or QUORVEL_UI_LOG change; holders of
// an earlier bundle keep it as long as they hold it.
UiServices CurrentUiServices();

// Installs the factory of the Qt implementation, which QUORVEL_UI=qt (and an
// unset QUORVEL_UI) then select. A program that links the Qt dialogs calls this
// once at start-up.
void SetQtUiFactory(std::function<UiServices()> factory);

}  // namespace quorvel::platform
