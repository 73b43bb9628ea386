#include "platform/ui/qt/consent_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/ui/qt/dialog_font.h"
#include "platform/ui/qt/qt_text.h"

namespace quorvel::platform::qt {

ConsentAnswer QtConsentDialogs::AskConsent(const ConsentRequest& request) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    return ConsentAnswer::kDismissed;
  }
  QDialog dialog(QApplication::activeWindow());
  dialog.setWindowTitle(ToQString(kConsentCaption));
  dialog.setFont(DialogFont());
  dialog.setWindowFlags((dialog.windowFlags() | Qt::WindowStaysOnTopHint) &
                        ~Qt::WindowContextHelpButtonHint);
  dialog.resize(560, 420);
  auto* layout = new QVBoxLayout(&dialog);
  auto* text = new QPlainTextEdit(&dialog);
  text->setObjectName(QStringLiteral("consent"));
  text->setReadOnly(true);
  text->setPlainText(ToQString(ConsentText(request)));
  text->setFocusPolicy(Qt::NoFocus);
  layout->addWidget(text);

  auto* row = new QHBoxLayout();
  row->addStretch();
  auto* confirm = new QPushButton(ToQString(ConsentConfirmCaption(request.action)), &dialog);
  confirm->setObjectName(QStringLiteral("confirm"));
  confirm->setEnabled(false);
  confirm->setAutoDefault(false);
  auto* cancel = new QPushButton(ToQString(kConsentCancelCaption), &dialog);
  cancel->setObjectName(QStringLiteral("cancel"));
  cancel->setDefault(true);
  row->addWidget(confirm);
  row->addWidget(cancel);
  layout->addLayout(row);

  ConsentAnswer answer = ConsentAnswer::kDismissed;
  QObject::connect(confirm, &QPushButton::clicked, &dialog, [&] {
    answer = ConsentAnswer::kConfirm;
    dialog.accept();
  });
  QObject::connect(cancel, &QPushButton::clicked, &dialog, [&] {
    answer = ConsentAnswer::kCancel;
    dialog.reject();
  });
  // Confirm cannot be pressed by a key or click meant for what was there a
  // moment before the dialog opened.
  QTimer::singleShot(kConsentConfirmDelayMs, confirm, [confirm] { confirm->setEnabled(true); });
  QTimer::singleShot(kConsentTimeoutMs, &dialog, [&dialog] { dialog.reject(); });
  cancel->setFocus();
  dialog.exec();
  return answer;
}

}  // namespace quorvel::platform::qt
