#include "tools/native_host_command.h"

#include <csignal>
#include <iostream>

#include "host/native/extension_identity.h"
#include "tools/event_loop.h"

namespace quorvel::tools {

int RunNativeHost(const std::vector<std::string>& arguments,
                  const host::native::NativeHostLimits& limits) {
  if (!host::native::StartedForOurExtension(arguments)) {
    std::cerr << "quorvel-native-host: refused: started for '"
              << (arguments.empty() ? std::string() : arguments.front())
              << "', not for the Quorvel extension (" << host::native::kChromiumExtensionOrigin
              << " or " << host::native::kFirefoxExtensionId << ")\n";
    return 2;
  }
  // A browser that goes away closes the pipe; writing to it must not kill us.
  std::signal(SIGPIPE, SIG_IGN);
  return RunEventLoop([] { return 0; },
                      [&limits] { return host::native::ServeExtension(0, 1, limits); });
}

}  // namespace quorvel::tools
