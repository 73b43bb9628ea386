// JSON-RPC messages as a page sends them to the bridge: parsed, bounded and
// dispatched by a session with the policy of a web origin, over one control
// object created beforehand, in a private home with no dialogs.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "host/rpc_session.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string home = (std::filesystem::temp_directory_path() / "quorvel-fuzz-XXXXXX").string();
  if (::mkdtemp(home.data()) == nullptr) std::abort();
  ::setenv("QUORVEL_HOME", home.c_str(), 1);
  ::setenv("QUORVEL_UI", "none", 1);
  ::unsetenv("QUORVEL_TEST_SEAMS");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quorvel::host::SessionPolicy policy;
  policy.caller = {.webOrigin = true, .localFiles = false};
  policy.origin = "https://fuzz.example";
  quorvel::host::RpcSession session({}, policy);
  const std::string created = session.HandleMessage(
      R"({"jsonrpc":"2.0","id":0,"method":"create","params":{"progid":"Quorvel.DrennicQuorvel2"}})");
  if (created.find("\"result\"") == std::string::npos) std::abort();
  const std::string answer =
      session.HandleMessage(std::string_view(reinterpret_cast<const char*>(data), size));
  // Every answer is one JSON value that names the protocol version.
  if (!answer.empty() && answer.find("\"jsonrpc\":\"2.0\"") == std::string::npos) std::abort();
  return 0;
}
