// The JSON-RPC 2.0 dispatcher shared by the stdio and WebSocket transports.
// A session owns the control objects its client created, each made by the
// module's class factory and called through its IDispatch; requests run one
// at a time, to completion, in arrival order.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "control/registration/dispatch.h"
#include "host/control_module.h"
#include "host/large_strings.h"

namespace quorvel::host {

namespace rpc_error {
inline constexpr int kParseError = -32700;
inline constexpr int kInvalidRequest = -32600;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;
inline constexpr int kInternalError = -32603;
// A server error of ours: the session already holds its most objects.
inline constexpr int kTooManyObjects = -32020;
}  // namespace rpc_error

// Bounds on what one message may ask of a session.
struct SessionLimits {
  size_t maxNestingDepth = 64;
  size_t maxBatchRequests = 1024;
  size_t maxBatchResponseBytes = size_t{64} << 20;
  size_t maxObjects = 0;  // live objects of the session; 0 for no limit
};

// Who the session serves. A page on a web origin gets objects only when they
// are safe for scripting and untrusted data, and calls under its caller
// policy. The test seam exists only where a local test harness asks for it.
struct SessionPolicy {
  registration::CallerPolicy caller;
  std::string origin;  // the web origin of a web caller's session
  bool testSeams = false;
};

class RpcSession {
 public:
  explicit RpcSession(SessionLimits limits = {}, SessionPolicy policy = {});
  ~RpcSession();
  RpcSession(const RpcSession&) = delete;
  RpcSession& operator=(const RpcSession&) = delete;

  // Handles one message (a request, a notification or a batch) and returns the
  // response text, or an empty string when no response is due. A message that
  // runs out of memory fails as a whole; the session goes on.
  std::string HandleMessage(std::string_view text);
  // The same for a message handed over, which is freed as soon as its long
  // texts have gone into the call.
  std::string HandleOwnedMessage(std::string text);

  // The response to a message that exceeded the transport's size limit.
  static std::string OversizedMessageResponse(size_t limit);

  size_t ObjectCount() const { return objects_.size(); }

  // Takes away a caller's right to name local files from the next call on;
  // nothing gives it back.
  void RevokeLocalFiles() { policy_.caller.localFiles = false; }

 private:
  std::string HandleParsedMessage(std::string_view text, std::string* owned);
  std::string HandleBatch(nlohmann::json& batch);
  // Appends the response to `request` to `out`; false when none is due. The
  // request's large strings are released as they are used.
  bool HandleRequest(nlohmann::json& request, std::string& out);
  // Appends the result's JSON to `out`.
  void Dispatch(const std::string& method, nlohmann::json& params, std::string& out);
  nlohmann::json Create(const nlohmann::json& params);
  nlohmann::json Members(const nlohmann::json& params);
  void Invoke(nlohmann::json& params, std::string& out);
  nlohmann::json Release(const nlohmann::json& params);
  ModuleObject& ObjectFor(const nlohmann::json& params);

  // A string argument's UTF-8, the long ones decoded from the message.
  std::string Utf8Of(const nlohmann::json& string) const;
  // A request's id as sent; a long one decoded, or null should it be gone.
  nlohmann::json IdOf(const nlohmann::json& id) const;

  SessionLimits limits_;
  SessionPolicy policy_;
  LargeStrings large_;
  std::map<int64_t, std::unique_ptr<ModuleObject>> objects_;
  int64_t nextObject_ = 1;
};

}  // namespace quorvel::host
