#include "platform/ui/qt/origin_approval_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "platform/ui/qt/dialog_font.h"
#include "platform/ui/qt/qt_text.h"

namespace quorvel::platform::qt {
namespace {

// The buttons end the dialog with the answer as its result code; Escape and
// the close box reject it, which is no answer at all.
constexpr int kFirstAnswerCode = 100;

int CodeOf(OriginApproval approval) {
  return kFirstAnswerCode + static_cast<int>(approval);
}

class QtOriginQuestion final : public OriginQuestion {
 public:
  QtOriginQuestion(std::u16string_view origin, OriginAnswered answered)
      : dialog_(new QDialog(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint)),
        answered_(std::move(answered)) {
    dialog_->setWindowTitle(ToQString(kOriginApprovalCaption));
    dialog_->setFont(DialogFont());
    dialog_->setModal(false);
    auto* layout = new QVBoxLayout(dialog_);
    auto* text = new QLabel(ToQString(OriginApprovalText(origin)), dialog_);
    text->setObjectName(QStringLiteral("text"));
    // The origin is the page's own text: never rich text.
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(dialog_);
    AddButton(*buttons, "once", QStringLiteral("仅此一次 Allow once"), OriginApproval::kAllowOnce);
    AddButton(*buttons, "always", QStringLiteral("始终允许 Always"), OriginApproval::kAlways);
    QPushButton* deny =
        AddButton(*buttons, "deny", QStringLiteral("拒绝 Deny"), OriginApproval::kDeny);
    deny->setDefault(true);
    deny->setFocus();
    layout->addWidget(buttons);
    QObject::connect(dialog_, &QDialog::finished, dialog_, [this](int code) { Finished(code); });
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
  }

  ~QtOriginQuestion() override {
    if (!dialog_) return;
    QObject::disconnect(dialog_, nullptr, nullptr, nullptr);
    dialog_->hide();
    dialog_->deleteLater();
  }

 private:
  QPushButton* AddButton(QDialogButtonBox& box, const char* name, const QString& text,
                         OriginApproval approval) {
    QPushButton* button = box.addButton(text, QDialogButtonBox::ActionRole);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, dialog_,
                     [this, approval] { dialog_->done(CodeOf(approval)); });
    return button;
  }

  void Finished(int code) {
    OriginApproval answer = OriginApproval::kDismissed;
    for (OriginApproval approval :
         {OriginApproval::kAllowOnce, OriginApproval::kAlways, OriginApproval::kDeny}) {
      if (code == CodeOf(approval)) answer = approval;
    }
    if (answered_) {
      // Once only; the caller may destroy this question from its handler.
      const OriginAnswered answered = std::exchange(answered_, nullptr);
      answered(answer);
    }
  }

  QPointer<QDialog> dialog_;
  OriginAnswered answered_;
};

}  // namespace

std::unique_ptr<OriginQuestion> QtOriginApprovals::AskOriginApproval(std::u16string_view origin,
                                                                     OriginAnswered answered) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    answered(OriginApproval::kDismissed);
    return std::make_unique<OriginQuestion>();
  }
  return std::make_unique<QtOriginQuestion>(origin, std::move(answered));
}

}  // namespace quorvel::platform::qt
