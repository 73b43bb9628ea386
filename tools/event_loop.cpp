#include "tools/event_loop.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string_view>

#include "platform/ui/ui_services.h"

namespace quorvel::tools {
namespace {

// A thread that has the signals unblocked would take their default action
// and end the process on the spot, so they are blocked before the first
// thread starts (the Qt application starts some).
sigset_t QuitSignals() {
  sigset_t quitSignals;
  sigemptyset(&quitSignals);
  sigaddset(&quitSignals, SIGTERM);
  sigaddset(&quitSignals, SIGINT);
  return quitSignals;
}

class QuitOnSignals {
 public:
  QuitOnSignals() {
    const sigset_t quitSignals = QuitSignals();
    fd_ = ::signalfd(-1, &quitSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd_ < 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                     [] { QCoreApplication::quit(); });
  }
  ~QuitOnSignals() {
    notifier_.reset();
    if (fd_ >= 0) ::close(fd_);
  }

 private:
  int fd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace

int RunEventLoop(const std::function<int()>& start, const std::function<int()>& serve) {
  const sigset_t quitSignals = QuitSignals();
  ::pthread_sigmask(SIG_BLOCK, &quitSignals, nullptr);
  // The Qt dialogs need their application object, made when the `qt` UI is
  // chosen; any other UI runs on a plain event loop.
  platform::CurrentUiServices();
  static int argc = 1;
  static char name[] = "quorvel";
  static char* argv[] = {name, nullptr};
  if (const char* ui = std::getenv("QUORVEL_UI");
      ui != nullptr && std::string_view(ui) == "script") {
    const char* script = std::getenv("QUORVEL_UI_SCRIPT");
    if (script == nullptr || ::access(script, R_OK) != 0) {
      std::cerr << "quorvel host: warning: QUORVEL_UI=script but QUORVEL_UI_SCRIPT names no "
                   "readable script, so every dialog is dismissed\n";
    }
  }
  std::unique_ptr<QCoreApplication> application;
  if (QCoreApplication::instance() == nullptr) {
    application = std::make_unique<QCoreApplication>(argc, argv);
  }
  if (const int failed = start()) return failed;
  QuitOnSignals quit;
  return serve();
}

}  // namespace quorvel::tools
