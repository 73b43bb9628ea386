// `quorvel browser install|uninstall`: the per-user native-messaging host
// manifests that let Chromium, Chrome and Firefox start quorvel-native-host
// for our extension.
#pragma once

#include <CLI/CLI.hpp>

namespace quorvel::tools {

void AddBrowserCommand(CLI::App& app);

}  // namespace quorvel::tools
