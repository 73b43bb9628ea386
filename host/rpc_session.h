// The JSON-RPC 2.0 dispatcher shared by the stdio and WebSocket transports.
// A session owns the control objects its client created; requests run one at
// a time, to completion, in arrival order.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "control/control.h"

namespace quorvel::host {

namespace rpc_error {
inline constexpr int kParseError = -32700;
inline constexpr int kInvalidRequest = -32600;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;
}  // namespace rpc_error

class RpcSession {
 public:
  RpcSession();
  ~RpcSession();
  RpcSession(const RpcSession&) = delete;
  RpcSession& operator=(const RpcSession&) = delete;

  // Handles one message (a request, a notification or a batch) and returns the
  // response text, or an empty string when no response is due.
  std::string HandleMessage(std::string_view text);

  // The response to a message that exceeded the transport's size limit.
  static std::string OversizedMessageResponse(size_t limit);

  size_t ObjectCount() const { return objects_.size(); }

 private:
  nlohmann::json HandleRequest(const nlohmann::json& request);
  nlohmann::json Dispatch(const std::string& method, const nlohmann::json& params);
  nlohmann::json Create(const nlohmann::json& params);
  nlohmann::json Members(const nlohmann::json& params);
  nlohmann::json Invoke(const nlohmann::json& params);
  nlohmann::json Release(const nlohmann::json& params);
  control::CDrennicQuorvel& ObjectFor(const nlohmann::json& params);

  std::map<int64_t, std::unique_ptr<control::CDrennicQuorvel>> objects_;
  int64_t nextObject_ = 1;
};

}  // namespace quorvel::host
