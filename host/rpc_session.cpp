#include "host/rpc_session.h"

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <vector>

#include "control/registration/dispatch.h"
#include "control/registration/key_use_policy.h"
#include "host/call_arguments.h"
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

// Test seam, reachable only in sessions whose policy enables it: sets an
// object's received text, which verification fills otherwise. Params:
// {"object": N, "text": T} (the UTF-8 bytes of T) or {"object": N, "base64": B}.
constexpr std::string_view kSetReceivedPlainTextMethod = "test.setReceivedPlainText";

template <typename Utf8Of>
std::string ReceivedPlainTextParam(const json& params, Utf8Of&& utf8Of) {
  if (const auto text = params.find("text"); text != params.end() && text->is_string()) {
    return utf8Of(*text);
  }
  if (const auto base64 = params.find("base64"); base64 != params.end() && base64->is_string()) {
    std::string bytes;
    if (!platform::Base64Decode(utf8Of(*base64), bytes)) {
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

// 128 random bits as hex, for placeholders no client can guess.
std::string Nonce() {
  std::random_device random;
  std::string nonce;
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(random()));
    nonce += part;
  }
  return nonce;
}

}  // namespace

RpcSession::RpcSession(SessionLimits limits, SessionPolicy policy)
    : limits_(limits), policy_(policy), large_(Nonce()) {}

json RpcSession::IdOf(const json& id) const {
  if (!id.is_string()) return id;
  try {
    return Utf8Of(id);
  } catch (const RpcFailure&) {
    return nullptr;
  }
}

std::string RpcSession::Utf8Of(const json& string) const {
  const auto& utf8 = string.get_ref<const std::string&>();
  const ptrdiff_t index = large_.Find(utf8);
  if (index < 0) return utf8;
  const std::optional<std::u16string> units = large_.Decoded(static_cast<size_t>(index));
  if (!units) Throw(rpc_error::kInternalError, "a long string of the request is gone");
  return platform::Utf16ToUtf8(*units);
}
RpcSession::~RpcSession() = default;

std::string RpcSession::HandleMessage(std::string_view text) {
  try {
    return HandleParsedMessage(text, nullptr);
  } catch (const std::bad_alloc&) {
    return R"({"error":{"code":-32603,"message":"Out of memory"},"id":null,"jsonrpc":"2.0"})";
  }
}

std::string RpcSession::HandleOwnedMessage(std::string text) {
  try {
    return HandleParsedMessage({}, &text);
  } catch (const std::bad_alloc&) {
    return R"({"error":{"code":-32603,"message":"Out of memory"},"id":null,"jsonrpc":"2.0"})";
  }
}

std::string RpcSession::HandleParsedMessage(std::string_view text, std::string* owned) {
  struct Forget {
    LargeStrings& strings;
    ~Forget() { strings.Clear(); }
  } forget{large_};
  if (!(owned != nullptr ? large_.Extract(std::move(*owned)) : large_.Extract(text))) {
    return Dump(ErrorResponse(nullptr, rpc_error::kParseError, "Parse error"));
  }
  // Long strings hold no structure: the rest is what nests.
  if (NestsDeeperThan(large_.text(), limits_.maxNestingDepth)) {
    return Dump(ErrorResponse(nullptr, rpc_error::kInvalidRequest,
                              "Invalid Request: nested deeper than " +
                                  std::to_string(limits_.maxNestingDepth) + " levels"));
  }
  json message;
  try {
    message = json::parse(large_.text());
  } catch (const json::exception&) {
    return Dump(ErrorResponse(nullptr, rpc_error::kParseError, "Parse error"));
  }
  if (message.is_array()) return HandleBatch(message);
  std::string response;
  HandleRequest(message, response);
  return response;
}

// Runs the requests of a batch in order. Once the responses reach the size
// bound, the response that crossed it is replaced by an error and the requests
// after it are answered with errors without being run.
std::string RpcSession::HandleBatch(json& batch) {
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
  for (json& request : batch) {
    const size_t mark = responses.size();
    if (mark > 1) responses += ',';
    const size_t start = responses.size();
    if (full) {
      if (IsNotification(request)) {
        responses.resize(mark);
        continue;
      }
    } else {
      if (!HandleRequest(request, responses)) {
        responses.resize(mark);
        continue;
      }
      if (mark + (responses.size() - start) + 1 <= limits_.maxBatchResponseBytes) continue;
      full = true;
      responses.resize(start);
    }
    json id = AnswerableId(request);
    id = IdOf(id);
    responses += Dump(ErrorResponse(id, rpc_error::kInvalidRequest, tooLarge));
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

bool RpcSession::HandleRequest(json& request, std::string& out) {
  if (!request.is_object()) {
    out += Dump(ErrorResponse(nullptr, rpc_error::kInvalidRequest, "Invalid Request"));
    return true;
  }
  const auto idIt = request.find("id");
  const bool isNotification = idIt == request.end();
  // A long id comes back as it was sent.
  const json id = isNotification ? json(nullptr) : IdOf(*idIt);
  const auto version = request.find("jsonrpc");
  const auto method = request.find("method");
  if (!IsValidId(id) || version == request.end() || *version != "2.0" || method == request.end() ||
      !method->is_string()) {
    out += Dump(ErrorResponse(IsValidId(id) ? id : json(nullptr), rpc_error::kInvalidRequest,
                              "Invalid Request"));
    return true;
  }
  const auto paramsIt = request.find("params");
  json noParams = json::object();
  json& params = paramsIt == request.end() ? noParams : *paramsIt;
  // The result is written in place, between the envelope's two halves.
  const size_t mark = out.size();
  out += "{\"id\":";
  out += Dump(id);
  out += ",\"jsonrpc\":\"2.0\",\"result\":";
  std::optional<json> error;
  try {
    Dispatch(method->get<std::string>(), params, out);
    out += '}';
  } catch (const RpcFailure& failure) {
    error = ErrorResponse(id, failure.code, failure.message);
  } catch (const json::exception& e) {
    error = ErrorResponse(id, rpc_error::kInvalidParams, e.what());
  } catch (const std::bad_alloc&) {
    error = ErrorResponse(id, rpc_error::kInvalidRequest, "Out of memory");
  }
  if (error) {
    out.resize(mark);
    out += Dump(*error);
  }
  if (isNotification) out.resize(mark);
  return !isNotification;
}

void RpcSession::Dispatch(const std::string& method, json& params, std::string& out) {
  if (method == "invoke") return Invoke(params, out);
  if (method == "create") {
    out += Dump(Create(params));
  } else if (method == "members") {
    out += Dump(Members(params));
  } else if (method == "release") {
    out += Dump(Release(params));
  } else if (method == kSetReceivedPlainTextMethod && policy_.testSeams) {
    const int32_t hr = ObjectFor(params).SetReceivedPlainText(
        ReceivedPlainTextParam(params, [&](const json& string) { return Utf8Of(string); }));
    if (hr != registration::hresult::kOk) ThrowDispatch(hr);
    out += "null";
  } else {
    Throw(rpc_error::kMethodNotFound, "Method not found");
  }
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

void RpcSession::Invoke(json& params, std::string& out) {
  ModuleObject& object = ObjectFor(params);
  json* args = nullptr;
  if (const auto it = params.find("args"); it != params.end() && !it->is_null()) {
    if (!it->is_array()) Throw(rpc_error::kInvalidParams, "args must be an array");
    for (const json& arg : *it) {
      if (!IsScalarArgument(arg)) ThrowDispatch(registration::hresult::kTypeMismatch);
    }
    args = &*it;
  }
  const size_t count = args == nullptr ? 0 : args->size();
  const std::optional<MemberKind> kind = ParseKind(params);
  registration::Resolution resolution;
  const auto name = params.find("member");
  const auto dispid = params.find("dispid");
  if (name != params.end() && name->is_string()) {
    resolution = registration::ResolveMember(name->get_ref<const std::string&>(), kind, count);
  } else if (dispid != params.end() && dispid->is_number_integer()) {
    const auto id = dispid->get<int64_t>();
    if (id < INT32_MIN || id > INT32_MAX) ThrowDispatch(registration::hresult::kMemberNotFound);
    resolution = registration::ResolveMember(static_cast<int32_t>(id), kind, count);
  } else {
    Throw(rpc_error::kInvalidParams, "invoke needs a member name or an integer dispid");
  }
  if (resolution.member == nullptr) ThrowDispatch(resolution.hr);
  const registration::MemberInfo& member = *resolution.member;
  // Converted here, once, so that the caller's policy sees what the member
  // will get; the module takes them as they are.
  std::vector<CallValue> converted;
  if (const int32_t hr =
          ConvertCallArguments(object, member, args, large_, policy_.caller, converted);
      hr != registration::hresult::kOk) {
    ThrowDispatch(hr);
  }
  CallValue result;
  const int32_t hr = object.Call(static_cast<size_t>(&member - registration::MemberTable().data()),
                                 converted, result);
  if (hr != registration::abi::hr::kOk && hr != registration::abi::hr::kFalse) ThrowDispatch(hr);
  out += hr == registration::abi::hr::kOk ? "{\"status\":0,\"value\":" : "{\"status\":1,\"value\":";
  AppendCallValue(result, out);
  out += '}';
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
