// Test support: the one application object of a Qt test program, on the
// offscreen platform.
#pragma once

#include <stdlib.h>

#include <QApplication>

namespace quorvel::platform::qt::testing {

inline QApplication& Application() {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "qt_ui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication application(argc, argv);
  return application;
}

}  // namespace quorvel::platform::qt::testing
