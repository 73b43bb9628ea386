#include "host/rpc_session.h"

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "control/registration/dispatch.h"
#include "control/registration/key_use_policy.h"
#include "host/json_depth.h"
#include "host/member_description.h"
#include "platform/text/base64.h"
#include "platform/text/code_page.h"

namespace quorvel::host {
namespace {

using nlohmann::json;
using registration::MemberKind;

// A failure to report as a JSON-RPC error object.
struct RpcFailure {
  int code;
  std::string message;
};

[[noreturn]] void Throw(int code, std::string message) {
  throw RpcFailure{code, std::move(message)};
}

[[noreturn]] void ThrowDispatch(int32_t hr) {
  Throw(hr, std::string(registration::DescribeHresult(hr)));
}

std::string Dump(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

json ErrorResponse(const json& id, int code, std::string_view message) {
  return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

const json& RequireObject(const json& params) {
  if (!params.is_object()) Throw(rpc_error::kInvalidParams, "params must be an object");
  return params;
}

std::optional<MemberKind> ParseKind(const json& params) {
  const auto it = params.find("kind");
  if (it == params.end() || it->is_null()) return std::nullopt;
  if (!it->is_string()) Throw(rpc_error::kInvalidParams, "kind must be a string");
  const auto& kind = it->get_ref<const std::string&>();
  if (kind == "method") return MemberKind::kMethod;
  if (kind == "get") return MemberKind::kPropertyGet;
  if (kind == "put") return MemberKind::kPropertyPut;
  Throw(rpc_error::kInvalidParams, "kind must be \"method\", \"get\" or \"put\"");
}

registration::ScriptValue ToScriptValue(const json& arg) {
  switch (arg.type()) {
    case json::value_t::null:
      return std::monostate{};
    case json::value_t::boolean:
      return arg.get<bool>();
    case json::value_t::number_integer:
      return arg.get<int64_t>();
    case json::value_t::number_unsigned: {
      const auto value = arg.get<uint64_t>();
      if (value > static_cast<uint64_t>(INT64_MAX)) return static_cast<double>(value);
      return static_cast<int64_t>(value);
    }
    case json::value_t::number_float:
      return arg.get<double>();
    case json::value_t::string:
      return platform::Utf8ToUtf16(arg.get_ref<const std::string&>());
    default:
      ThrowDispatch(registration::hresult::kTypeMismatch);
  }
}

json FromValue(const registration::Value& value) {
  if (const auto* s = std::get_if<std::u16string>(&value)) return platform::Utf16ToUtf8(*s);
  if (const auto* i = std::get_if<int32_t>(&value)) return *i;
  if (const auto* u = std::get_if<uint32_t>(&value)) return *u;
  return nullptr;
}

// Test seam, reachable only in sessions whose policy enables it: sets an
// object's received text, which verification fills otherwise. Params:
// {"object": N, "text": T} (the UTF-8 bytes of T) or {"object": N, "base64": B}.
constexpr std::string_view kSetReceivedPlainTextMethod = "test.setReceivedPlainText";

std::string ReceivedPlainTextParam(const json& params) {
  if (const auto text = params.find("text"); text != params.end() && text->is_string()) {
    return text->get<std::string>();
  }
  if (const auto base64 = params.find("base64"); base64 != params.end() && base64->is_string()) {
    std::string bytes;
    if (!platform::Base64Decode(base64->get_ref<const std::string&>(), bytes)) {
      Throw(rpc_error::kInvalidParams, "base64 is not valid Base64");
    }
    return bytes;
  }
  Throw(rpc_error::kInvalidParams, "needs a string \"text\" or \"base64\"");
}

// Integer ids are echoed exactly; a number that the parser could hold only as a
// double (a fraction, or an integer beyond 64 bits) would come back altered, so
// it is refused.
bool IsValidId(const json& id) {
  return id.is_string() || id.is_number_integer() || id.is_null();
}

// The id to answer a request with that is not run.
json AnswerableId(const json& request) {
  if (!request.is_object()) return nullptr;
  const auto id = request.find("id");
  return id != request.end() && IsValidId(*id) ? *id : json(nullptr);
}

bool IsNotification(const json& request) {
  return request.is_object() && !request.contains("id");
}

}  // namespace

RpcSession::RpcSession(SessionLimits limits, SessionPolicy policy)
    : limits_(limits), policy_(policy) {}
RpcSession::~RpcSession() = default;

std::string RpcSession::HandleMessage(std::string_view text) {
  try {
    return HandleParsedMessage(text);
  } catch (const std::bad_alloc&) {
    return R"({"error":{"code":-32603,"message":"Out of memory"},"id":null,"jsonrpc":"2.0"})";
  }
}

std::string RpcSession::HandleParsedMessage(std::string_view text) {
  if (NestsDeeperThan(text, limits_.maxNestingDepth)) {
    return Dump(ErrorResponse(nullptr, rpc_error::kInvalidRequest,
                              "Invalid Request: nested deeper than " +
                                  std::to_string(limits_.maxNestingDepth) + " levels"));
  }
  json message;
  try {
    message = json::parse(text);
  } catch (const json::exception&) {
    return Dump(ErrorResponse(nullptr, rpc_error::kParseError, "Parse error"));
  }
  if (message.is_array()) return HandleBatch(message);
  json response = HandleRequest(message);
  return response.is_null() ? std::string() : Dump(response);
}

// Runs the requests of a batch in order. Once the responses reach the size
// bound, the response that crossed it is replaced by an error and the requests
// after it are answered with errors without being run.
std::string RpcSession::HandleBatch(const json& batch) {
  if (batch.empty()) {
    return Dump(ErrorResponse(nullptr, rpc_error::kInvalidRequest, "Invalid Request"));
  }
  if (batch.size() > limits_.maxBatchRequests) {
    return Dump(ErrorResponse(nullptr, rpc_error::kInvalidRequest,
                              "Invalid Request: batch of more than " +
                                  std::to_string(limits_.maxBatchRequests) + " requests"));
  }
  const std::string tooLarge = "Invalid Request: batch response larger than " +
                               std::to_string(limits_.maxBatchResponseBytes) + " bytes";
  std::string responses = "[";
  bool full = false;
  for (const json& request : batch) {
    std::string text;
    if (full) {
      if (IsNotification(request)) continue;
      text = Dump(ErrorResponse(AnswerableId(request), rpc_error::kInvalidRequest, tooLarge));
    } else {
      const json response = HandleRequest(request);
      if (response.is_null()) continue;
      text = Dump(response);
      if (responses.size() + text.size() + 1 > limits_.maxBatchResponseBytes) {
        full = true;
        text = Dump(ErrorResponse(AnswerableId(request), rpc_error::kInvalidRequest, tooLarge));
      }
    }
    if (responses.size() > 1) responses += ',';
    responses += text;
  }
  if (responses.size() == 1) return {};
  responses += ']';
  return responses;
}

std::string RpcSession::OversizedMessageResponse(size_t limit) {
  return Dump(
      ErrorResponse(nullptr, rpc_error::kInvalidRequest,
                    "Invalid Request: message longer than " + std::to_string(limit) + " bytes"));
}

json RpcSession::HandleRequest(const json& request) {
  if (!request.is_object())
    return ErrorResponse(nullptr, rpc_error::kInvalidRequest, "Invalid Request");
  const auto idIt = request.find("id");
  const bool isNotification = idIt == request.end();
  const json id = isNotification ? json(nullptr) : *idIt;
  const auto version = request.find("jsonrpc");
  const auto method = request.find("method");
  if (!IsValidId(id) || version == request.end() || *version != "2.0" || method == request.end() ||
      !method->is_string()) {
    return ErrorResponse(IsValidId(id) ? id : json(nullptr), rpc_error::kInvalidRequest,
                         "Invalid Request");
  }
  const auto paramsIt = request.find("params");
  const json params = paramsIt == request.end() ? json::object() : *paramsIt;
  json response;
  try {
    response = {{"jsonrpc", "2.0"}, {"id", id}, {"result", Dispatch(*method, params)}};
  } catch (const RpcFailure& failure) {
    response = ErrorResponse(id, failure.code, failure.message);
  } catch (const json::exception& e) {
    response = ErrorResponse(id, rpc_error::kInvalidParams, e.what());
  } catch (const std::bad_alloc&) {
    response = ErrorResponse(id, rpc_error::kInvalidRequest, "Out of memory");
  }
  return isNotification ? json(nullptr) : response;
}

json RpcSession::Dispatch(const std::string& method, const json& params) {
  if (method == "create") return Create(params);
  if (method == "members") return Members(params);
  if (method == "invoke") return Invoke(params);
  if (method == "release") return Release(params);
  if (method == kSetReceivedPlainTextMethod && policy_.testSeams) {
    const int32_t hr = ObjectFor(params).SetReceivedPlainText(ReceivedPlainTextParam(params));
    if (hr != registration::hresult::kOk) ThrowDispatch(hr);
    return nullptr;
  }
  Throw(rpc_error::kMethodNotFound, "Method not found");
}

json RpcSession::Create(const json& params) {
  RequireObject(params);
  if (limits_.maxObjects != 0 && objects_.size() >= limits_.maxObjects) {
    Throw(rpc_error::kTooManyObjects, "too many objects (at most " +
                                          std::to_string(limits_.maxObjects) +
                                          "); release some first");
  }
  // A page gets the control and nothing else the registry may name.
  const bool ourClassOnly = policy_.caller.webOrigin;
  CreateResult created;
  if (const auto progId = params.find("progid"); progId != params.end()) {
    if (!progId->is_string()) Throw(rpc_error::kInvalidParams, "progid must be a string");
    created = CreateByProgId(progId->get_ref<const std::string&>(), ourClassOnly);
  } else if (const auto clsid = params.find("clsid"); clsid != params.end()) {
    if (!clsid->is_string()) Throw(rpc_error::kInvalidParams, "clsid must be a string");
    created = CreateByClsid(clsid->get_ref<const std::string&>(), ourClassOnly);
  } else {
    Throw(rpc_error::kInvalidParams, "create needs a progid or a clsid");
  }
  if (!created.object) ThrowDispatch(created.hr);
  if (policy_.caller.webOrigin && !created.object->MakeSafeForPages()) {
    ThrowDispatch(registration::hresult::kAccessDenied);
  }
  // A web origin's object must ask before keys are used; a local client's
  // other classes may not know callers at all.
  const std::u16string caller = policy_.caller.webOrigin
                                    ? platform::Utf8ToUtf16(policy_.origin)
                                    : std::u16string(registration::kLocalCaller);
  if (created.object->SetCaller(caller, policy_.caller.localFiles) != 0 &&
      policy_.caller.webOrigin) {
    ThrowDispatch(registration::hresult::kAccessDenied);
  }
  const int64_t handle = nextObject_++;
  objects_.emplace(handle, std::move(created.object));
  return {{"object", handle}};
}

ModuleObject& RpcSession::ObjectFor(const json& params) {
  RequireObject(params);
  const auto it = params.find("object");
  if (it == params.end() || !it->is_number_integer()) {
    Throw(rpc_error::kInvalidParams, "object must be an integer handle");
  }
  const auto found = objects_.find(it->get<int64_t>());
  if (found == objects_.end()) Throw(rpc_error::kInvalidParams, "unknown object");
  return *found->second;
}

json RpcSession::Members(const json& params) {
  ObjectFor(params);
  json list = json::array();
  for (const auto& member : registration::MemberTable()) list.push_back(DescribeMember(member));
  return list;
}

json RpcSession::Invoke(const json& params) {
  ModuleObject& object = ObjectFor(params);
  std::vector<registration::ScriptValue> args;
  if (const auto it = params.find("args"); it != params.end() && !it->is_null()) {
    if (!it->is_array()) Throw(rpc_error::kInvalidParams, "args must be an array");
    for (const json& arg : *it) args.push_back(ToScriptValue(arg));
  }
  const std::optional<MemberKind> kind = ParseKind(params);
  registration::Resolution resolution;
  const auto name = params.find("member");
  const auto dispid = params.find("dispid");
  if (name != params.end() && name->is_string()) {
    resolution =
        registration::ResolveMember(name->get_ref<const std::string&>(), kind, args.size());
  } else if (dispid != params.end() && dispid->is_number_integer()) {
    const auto id = dispid->get<int64_t>();
    if (id < INT32_MIN || id > INT32_MAX) ThrowDispatch(registration::hresult::kMemberNotFound);
    resolution = registration::ResolveMember(static_cast<int32_t>(id), kind, args.size());
  } else {
    Throw(rpc_error::kInvalidParams, "invoke needs a member name or an integer dispid");
  }
  if (resolution.member == nullptr) ThrowDispatch(resolution.hr);
  const registration::MemberInfo& member = *resolution.member;
  // Arguments are converted here, so that the caller's policy sees what the
  // member would get; the module receives them in their declared types.
  std::vector<registration::Value> converted;
  if (const int32_t hr = registration::ConvertArguments(member, args, policy_.caller, converted);
      hr != registration::hresult::kOk) {
    ThrowDispatch(hr);
  }
  args.clear();
  registration::Value result;
  const int32_t hr = object.Invoke(member, converted, result);
  if (hr != registration::abi::hr::kOk && hr != registration::abi::hr::kFalse) ThrowDispatch(hr);
  return {{"status", hr == registration::abi::hr::kOk ? 0 : 1}, {"value", FromValue(result)}};
}

json RpcSession::Release(const json& params) {
  RequireObject(params);
  const auto it = params.find("object");
  if (it == params.end() || !it->is_number_integer() || objects_.erase(it->get<int64_t>()) == 0) {
    Throw(rpc_error::kInvalidParams, "unknown object");
  }
  return nullptr;
}

}  // namespace quorvel::host
