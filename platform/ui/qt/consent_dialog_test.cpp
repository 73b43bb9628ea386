// The Qt consent dialog on the offscreen platform, answered as a user would.
#include "platform/ui/qt/consent_dialog.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "platform/ui/qt/qt_test_application.h"

namespace quorvel::platform::qt {
namespace {

using testing::Application;

ConsentRequest Request() {
  ConsentRequest request;
  request.origin = u"https://bank.example";
  request.subject = u"CN=Zhang San";
  request.content.text = u"pay 100";
  request.content.size = 7;
  request.contentSha256 = "ab";
  return request;
}

// Asks for consent and, `afterMs` after the dialog is up, hands it to `act`.
ConsentAnswer AskAndAct(int afterMs, const std::function<void(QDialog&)>& act) {
  Application();
  QTimer::singleShot(afterMs, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    act(*dialog);
  });
  return QtConsentDialogs().AskConsent(Request());
}

QPushButton* Button(QDialog& dialog, const char* name) {
  return dialog.findChild<QPushButton*>(QLatin1String(name));
}

TEST(QtConsentDialogTest, ConfirmWaitsASecondCancelIsTheDefaultAndClosingRefuses) {
  bool confirmEnabledAtOnce = true;
  bool cancelDefault = false;
  QString shown;
  const ConsentAnswer early = AskAndAct(0, [&](QDialog& dialog) {
    confirmEnabledAtOnce = Button(dialog, "confirm")->isEnabled();
    cancelDefault = Button(dialog, "cancel")->isDefault();
    shown = dialog.findChild<QPlainTextEdit*>(QStringLiteral("consent"))->toPlainText();
    Button(dialog, "confirm")->click();  // too early: nothing happens
    Button(dialog, "cancel")->click();
  });
  EXPECT_EQ(early, ConsentAnswer::kCancel);
  EXPECT_FALSE(confirmEnabledAtOnce);
  EXPECT_TRUE(cancelDefault);
  EXPECT_TRUE(shown.contains(QStringLiteral("https://bank.example")));
  EXPECT_TRUE(shown.contains(QStringLiteral("pay 100")));

  EXPECT_EQ(AskAndAct(kConsentConfirmDelayMs + 200,
                      [](QDialog& dialog) { Button(dialog, "confirm")->click(); }),
            ConsentAnswer::kConfirm);
  EXPECT_EQ(AskAndAct(0, [](QDialog& dialog) { dialog.reject(); }), ConsentAnswer::kDismissed);
}

}  // namespace
}  // namespace quorvel::platform::qt
