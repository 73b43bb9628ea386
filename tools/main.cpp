#include <clocale>
#include <iostream>

#include "platform/ui/qt/qt_ui.h"
#include "tools/browser_command.h"
#include "tools/commands.h"
#include "tools/demo_pki_command.h"
#include "tools/history_command.h"
#include "tools/reg_command.h"
#include "tools/register_command.h"
#include "tools/store_command.h"
#include "tools/token_command.h"
#include "tools/typelib_command.h"

int main(int argc, char** argv) {
  // Code page 0 means the character set of the user's locale.
  std::setlocale(LC_ALL, "");
  std::ios::sync_with_stdio(false);
  // Dialogs are Qt's when QUORVEL_UI selects `qt`; the application object is
  // made only then, and only with a display.
  quorvel::platform::qt::InstallQtUi();

  CLI::App app{"Quorvel signing control: host, stores, registry and tools", "quorvel"};
  app.set_version_flag("--version", "quorvel 2.0.59.4");
  app.require_subcommand(1);
  quorvel::tools::AddHostCommand(app);
  quorvel::tools::AddRegCommand(app);
  quorvel::tools::AddStoreCommand(app);
  quorvel::tools::AddTokenCommand(app);
  quorvel::tools::AddHistoryCommand(app);
  quorvel::tools::AddDemoPkiCommand(app);
  quorvel::tools::AddRegisterCommands(app);
  quorvel::tools::AddTypelibCommand(app);
  quorvel::tools::AddBrowserCommand(app);
  CLI11_PARSE(app, argc, argv);
  return 0;
}
