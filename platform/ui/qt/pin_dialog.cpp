#include "platform/ui/qt/pin_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "platform/ui/qt/dialog_font.h"
#include "platform/ui/qt/qt_text.h"

namespace quorvel::platform::qt {

PinAnswer QtPinEntries::AskPin(const PinRequest& request) {
  PinAnswer answer;
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    answer.outcome = PinOutcome::kFailed;
    return answer;
  }
  QDialog dialog(QApplication::activeWindow());
  dialog.setWindowTitle(ToQString(kPinCaption));
  dialog.setFont(DialogFont());
  auto* layout = new QVBoxLayout(&dialog);
  auto* prompt = new QLabel(ToQString(PinPromptText(request)), &dialog);
  prompt->setObjectName(QStringLiteral("prompt"));
  layout->addWidget(prompt);
  auto* field = new QLineEdit(&dialog);
  field->setObjectName(QStringLiteral("pin"));
  field->setEchoMode(QLineEdit::Password);
  // Nothing typed here goes to the clipboard or to an input method's history.
  field->setAttribute(Qt::WA_InputMethodEnabled, false);
  field->setContextMenuPolicy(Qt::NoContextMenu);
  layout->addWidget(field);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);

  if (dialog.exec() == QDialog::Accepted) {
    QByteArray utf8 = field->text().toUtf8();
    answer.outcome = PinOutcome::kEntered;
    answer.pin = SecretText(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
    // The UTF-8 copy is this function's own and is overwritten before it is
    // freed; the field's text goes with the field.
    utf8.fill('\0');
  }
  field->clear();
  return answer;
}

}  // namespace quorvel::platform::qt
