#include "platform/ui/qt/qt_ui.h"

#include <QApplication>
#include <cstdlib>

#include "platform/ui/qt/chooser_dialog.h"
#include "platform/ui/qt/consent_dialog.h"
#include "platform/ui/qt/file_dialogs.h"
#include "platform/ui/qt/origin_approval_dialog.h"
#include "platform/ui/qt/pin_dialog.h"
#include "platform/ui/ui_none.h"

namespace quorvel::platform::qt {
namespace {

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

bool DisplayAvailable() {
  return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM");
}

// The application object the dialogs need, made on first use and kept for the
// rest of the process: it is never destroyed, since the program may still be
// running static destructors of the libraries it loaded when it would go.
// Closing a dialog never ends the program's event loop.
bool EnsureApplication() {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) return true;
  if (QCoreApplication::instance() != nullptr || !DisplayAvailable()) return false;
  static int argc = 1;
  static char name[] = "quorvel";
  static char* argv[] = {name, nullptr};
  static QApplication* const application = new QApplication(argc, argv);
  application->setQuitOnLastWindowClosed(false);
  return true;
}

}  // namespace

UiServices MakeQtUiServices() {
  return {std::make_shared<QtFileDialogs>(),        std::make_shared<QtMessageBoxes>(),
          std::make_shared<QtCertificateChooser>(), std::make_shared<QtFileViewer>(),
          std::make_shared<QtOriginApprovals>(),    std::make_shared<QtPinEntries>(),
          std::make_shared<QtConsentDialogs>()};
}

void InstallQtUi() {
  SetDesktopUiFactory(
      "qt", [] { return EnsureApplication() ? MakeQtUiServices() : MakeNoneUiServices(); });
}

}  // namespace quorvel::platform::qt
