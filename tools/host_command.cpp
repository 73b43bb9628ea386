#include <unistd.h>

#include <iostream>
#include <memory>

#include "host/rpc_session.h"
#include "host/stdio_transport.h"
#include "tools/commands.h"

namespace quorvel::tools {

void AddHostCommand(CLI::App& app) {
  auto* command = app.add_subcommand("host", "Serve the control to a client over JSON-RPC");
  auto useStdio = std::make_shared<bool>(false);
  command->add_flag("--stdio", *useStdio, "One JSON-RPC message per line on stdin and stdout");
  command->require_option(1);
  command->callback([useStdio] {
    if (*useStdio) {
      host::RpcSession session;
      host::ServeDescriptor(STDIN_FILENO, std::cout, session);
    }
  });
}

}  // namespace quorvel::tools
