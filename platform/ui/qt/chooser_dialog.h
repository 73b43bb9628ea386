// The certificate chooser as a Qt dialog, laid out after the control's dialog
// template: a prompt, a three-column list of candidates, OK and Cancel on the
// right, the view button below them and the information text at the bottom.
// The dialog only shows what its ChooserLogic holds and forwards the user's
// actions to it.
#pragma once

#include <QDialog>
#include <optional>

#include "platform/ui/ui_services.h"

class QPushButton;
class QTreeWidget;

namespace quorvel::platform::qt {

class ChooserDialog final : public QDialog, private ChooserHost {
 public:
  // Object names of the controls, for tests and accessibility tools.
  static constexpr const char* kList = "certificates";
  static constexpr const char* kPrompt = "prompt";
  static constexpr const char* kOk = "ok";
  static constexpr const char* kCancel = "cancel";
  static constexpr const char* kView = "view";
  static constexpr const char* kInformation = "information";

  ChooserDialog(ChooserLogic& logic, QWidget* owner);

  // Centres the dialog over its owner when that is visible, else over the
  // available area of the screen.
  void Centre();

 private:
  void ShowRows();
  std::optional<std::size_t> SelectedRow() const;
  void ShowMessage(std::u16string_view text) override;
  bool OpenWithViewer(const std::filesystem::path& file) override;

  ChooserLogic& logic_;
  QTreeWidget* list_ = nullptr;
};

// The chooser service: shows a ChooserDialog modally over the active window.
class QtCertificateChooser final : public CertificateChooser {
 public:
  DialogOutcome ShowChooser(ChooserLogic& logic) override;
};

}  // namespace quorvel::platform::qt
