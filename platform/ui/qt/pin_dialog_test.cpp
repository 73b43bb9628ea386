// The Qt PIN dialog on the offscreen platform, answered as a user would.
#include "platform/ui/qt/pin_dialog.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "platform/ui/qt/qt_test_application.h"

namespace quorvel::platform::qt {
namespace {

using testing::Application;

// Asks for a PIN and, once the dialog is up, hands it to `act`.
PinAnswer AskAndAct(const PinRequest& request, const std::function<void(QDialog&)>& act) {
  Application();
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    act(*dialog);
  });
  return QtPinEntries().AskPin(request);
}

TEST(QtPinDialogTest, AMaskedFieldGivesTheTypedPinAndCancelGivesNone) {
  QString prompt;
  QLineEdit::EchoMode echo = QLineEdit::Normal;
  PinAnswer entered = AskAndAct({u"网银盾 Token", PinTries::kLast}, [&](QDialog& dialog) {
    prompt = dialog.findChild<QLabel*>(QStringLiteral("prompt"))->text();
    auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("pin"));
    echo = field->echoMode();
    field->setText(QStringLiteral("12π4"));
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  });
  EXPECT_EQ(entered.outcome, PinOutcome::kEntered);
  EXPECT_EQ(entered.pin.view(), "12π4");
  EXPECT_EQ(echo, QLineEdit::Password);
  EXPECT_EQ(prompt, QStringLiteral("Enter the PIN of the token 网银盾 Token.\n"
                                   "This is the last try before the token locks."));

  PinAnswer cancelled = AskAndAct({u"T", PinTries::kUnknown}, [](QDialog& dialog) {
    dialog.findChild<QLineEdit*>(QStringLiteral("pin"))->setText(QStringLiteral("1234"));
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
  });
  EXPECT_EQ(cancelled.outcome, PinOutcome::kCancelled);
  EXPECT_TRUE(cancelled.pin.view().empty());
}

}  // namespace
}  // namespace quorvel::platform::qt
