// A program with `store` as its only subcommand, so that tests can run the
// command in processes of their own (and kill them).
#include "tools/store_command.h"

int main(int argc, char** argv) {
  CLI::App app{"quorvel store, alone", "quorvel"};
  app.require_subcommand(1);
  quorvel::tools::AddStoreCommand(app);
  CLI11_PARSE(app, argc, argv);
  return 0;
}
