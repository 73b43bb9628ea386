#include "platform/ui/qt/file_dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <QUrl>

#include "platform/ui/qt/dialog_font.h"
#include "platform/ui/qt/qt_text.h"

namespace quorvel::platform::qt {
namespace {

bool HaveWidgets() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// The single filter entry: its text as shown, its patterns separated by ";"
// ("*.*" stands for every file, as the control's pages write it).
QString NameFilter(const std::u16string& filter) {
  if (filter.empty()) return {};
  const QString text = ToQString(filter);
  QStringList patterns;
  for (QString pattern : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    pattern = pattern.trimmed();
    patterns << (pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern);
  }
  return QStringLiteral("%1 (%2)").arg(text, patterns.join(QLatin1Char(' ')));
}

void Prepare(QFileDialog& dialog, const std::u16string& title, const std::u16string& filter) {
  dialog.setFont(DialogFont());
  dialog.setWindowTitle(ToQString(title));
  const QString nameFilter = NameFilter(filter);
  if (!nameFilter.isEmpty()) dialog.setNameFilter(nameFilter);
}

DialogResult Run(QFileDialog& dialog) {
  DialogResult result;
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return result;
  result.outcome = DialogOutcome::kChosen;
  result.path = QFile::encodeName(dialog.selectedFiles().front()).toStdString();
  return result;
}

}  // namespace

DialogResult QtFileDialogs::ShowOpenDialog(const OpenDialogRequest& request) {
  if (!HaveWidgets()) return {DialogOutcome::kFailed, {}};
  QFileDialog dialog(QApplication::activeWindow());
  Prepare(dialog, request.title, request.filter);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  return Run(dialog);
}

DialogResult QtFileDialogs::ShowSaveDialog(const SaveDialogRequest& request) {
  if (!HaveWidgets()) return {DialogOutcome::kFailed, {}};
  QFileDialog dialog(QApplication::activeWindow());
  Prepare(dialog, request.title, request.filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
  if (!request.defaultExtension.empty())
    dialog.setDefaultSuffix(ToQString(request.defaultExtension));
  if (!request.suggestedName.empty()) dialog.selectFile(ToQString(request.suggestedName));
  return Run(dialog);
}

MessageBoxAnswer QtMessageBoxes::ShowMessageBox(const MessageBoxRequest& request) {
  if (!HaveWidgets()) return DismissedAnswer(request.buttons);
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  if (request.buttons == MessageBoxButtons::kOkCancel)
    buttons = QMessageBox::Ok | QMessageBox::Cancel;
  if (request.buttons == MessageBoxButtons::kYesNo) buttons = QMessageBox::Yes | QMessageBox::No;
  QMessageBox box(QMessageBox::NoIcon, ToQString(request.title), ToQString(request.text), buttons,
                  QApplication::activeWindow());
  box.setFont(DialogFont());
  switch (box.exec()) {
    case QMessageBox::Ok:
      return MessageBoxAnswer::kOk;
    case QMessageBox::Cancel:
      return MessageBoxAnswer::kCancel;
    case QMessageBox::Yes:
      return MessageBoxAnswer::kYes;
    case QMessageBox::No:
      return MessageBoxAnswer::kNo;
    default:
      return DismissedAnswer(request.buttons);  // the close box
  }
}

bool QtFileViewer::OpenWithViewer(const std::filesystem::path& file) {
  if (QCoreApplication::instance() == nullptr) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(file.c_str())));
}

}  // namespace quorvel::platform::qt
