// The native-messaging host our browser extension starts: `quorvel-native-host`
// and `quorvel host --native-messaging` are the same.
#pragma once

#include <string>
#include <vector>

#include "host/native/native_host.h"

namespace quorvel::tools {

// `arguments` are those the browser passed; the host refuses to run for any
// caller but our extension. Returns the process's exit code.
int RunNativeHost(const std::vector<std::string>& arguments,
                  const host::native::NativeHostLimits& limits = {});

}  // namespace quorvel::tools
