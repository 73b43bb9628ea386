// quorvel-native-host: the program a browser starts for our extension, named
// by the host manifests `quorvel browser install` writes.
#include <clocale>
#include <iostream>

#include "platform/ui/qt/qt_ui.h"
#include "tools/native_host_command.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  quorvel::platform::qt::InstallQtUi();
  return quorvel::tools::RunNativeHost(std::vector<std::string>(argv + 1, argv + argc));
}
