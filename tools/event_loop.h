// The event loop a long-running host serves on: the Qt application the
// dialogs need (or a plain one without them), and SIGTERM and SIGINT ending
// the loop so that every connection closes and its objects are released as
// on any other way out.
#pragma once

#include <functional>

namespace quorvel::tools {

// Blocks the quit signals before anything starts a thread, makes the
// application, lets `start` set up what it serves (a nonzero result ends it
// there), and runs the loop until a signal or the served thing ends it.
int RunEventLoop(const std::function<int()>& start, const std::function<int()>& serve);

}  // namespace quorvel::tools
