#include "platform/ui/qt/origin_approval_dialog.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "platform/ui/qt/dialog_font.h"

namespace quorvel::platform::qt {

OriginApproval QtOriginApprovals::AskOriginApproval(std::u16string_view origin) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    return OriginApproval::kDismissed;
  }
  const std::u16string text = OriginApprovalText(origin);
  QMessageBox box(QMessageBox::Question,
                  QString::fromUtf16(kOriginApprovalCaption.data(),
                                     static_cast<qsizetype>(kOriginApprovalCaption.size())),
                  QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::NoButton, QApplication::activeWindow());
  box.setFont(DialogFont());
  QPushButton* once = box.addButton(QStringLiteral("Allow once"), QMessageBox::AcceptRole);
  QPushButton* always = box.addButton(QStringLiteral("Always"), QMessageBox::YesRole);
  QPushButton* deny = box.addButton(QStringLiteral("Deny"), QMessageBox::RejectRole);
  box.setDefaultButton(deny);
  box.exec();
  if (box.clickedButton() == once) return OriginApproval::kAllowOnce;
  if (box.clickedButton() == always) return OriginApproval::kAlways;
  if (box.clickedButton() == deny) return OriginApproval::kDeny;
  return OriginApproval::kDismissed;
}

}  // namespace quorvel::platform::qt
