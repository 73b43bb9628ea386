// A program with `reg` as its only subcommand, so that tests can run the command
// in processes of their own.
#include "tools/reg_command.h"

int main(int argc, char** argv) {
  CLI::App app{"quorvel reg, alone", "quorvel"};
  app.require_subcommand(1);
  quorvel::tools::AddRegCommand(app);
  CLI11_PARSE(app, argc, argv);
  return 0;
}
