// Calls a control member the way an automation client does: by name or
// dispatch identifier, with loosely typed arguments converted to the member's
// declared parameter types. Failures of dispatch itself are reported as the
// platform's dispatch HRESULTs; a member's own failure is its status.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "control/control.h"
#include "control/registration/member_table.h"

namespace quorvel::registration {

namespace hresult {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNotImplemented = static_cast<int32_t>(0x80004001u);
inline constexpr int32_t kMemberNotFound = static_cast<int32_t>(0x80020003u);
inline constexpr int32_t kTypeMismatch = static_cast<int32_t>(0x80020005u);
inline constexpr int32_t kUnknownName = static_cast<int32_t>(0x80020006u);
inline constexpr int32_t kNoNamedArgs = static_cast<int32_t>(0x80020007u);
inline constexpr int32_t kOverflow = static_cast<int32_t>(0x8002000Au);
inline constexpr int32_t kBadIndex = static_cast<int32_t>(0x8002000Bu);
inline constexpr int32_t kBadParamCount = static_cast<int32_t>(0x8002000Eu);
inline constexpr int32_t kClassNotRegistered = static_cast<int32_t>(0x80040154u);
inline constexpr int32_t kAccessDenied = static_cast<int32_t>(0x80070005u);
}  // namespace hresult

// Short English description of a dispatch HRESULT.
std::string_view DescribeHresult(int32_t hr);

// An argument as a script hands it over, before conversion.
using ScriptValue = std::variant<std::monostate, bool, int64_t, double, std::u16string>;

struct Resolution {
  const MemberInfo* member = nullptr;
  int32_t hr = hresult::kOk;
};

// Finds a member by case-insensitive name. Without a kind, a method is
// preferred, then a property get for no arguments or a put for one.
Resolution ResolveMember(std::string_view name, std::optional<MemberKind> kind,
                         size_t argumentCount);
Resolution ResolveMember(int32_t dispid, std::optional<MemberKind> kind, size_t argumentCount);

struct InvokeResult {
  int32_t hr = hresult::kOk;  // dispatch failure; the member did not run
  control::Status status = control::Status::kOk;
  Value value;
};

// Who is calling. A page on a web origin may not turn server mode on, and may
// name no file (the user picks it in the Open dialog) unless its origin is
// trusted with local paths; such calls fail with kAccessDenied before the
// member runs.
struct CallerPolicy {
  bool webOrigin = false;
  bool localFiles = false;
};

// Converts `args` (their texts moved out) and calls the member.
InvokeResult Invoke(control::CDrennicQuorvel& object, const MemberInfo& member,
                    std::span<ScriptValue> args, const CallerPolicy& caller = {});

// Calls the member with arguments already of its declared types and checked,
// moved into the call. kBadParamCount when their number is not the member's.
InvokeResult InvokeConverted(control::CDrennicQuorvel& object, const MemberInfo& member,
                             std::span<Value> args);

// kOk, or kAccessDenied when `caller` may not make this call with these
// converted arguments.
int32_t CheckCaller(const MemberInfo& member, std::span<const Value> args,
                    const CallerPolicy& caller);
// The same, for a caller that knows of each argument only whether it is a
// non-empty text.
int32_t CheckCaller(const MemberInfo& member, std::span<const bool> nonEmptyTexts,
                    const CallerPolicy& caller);

// The arguments converted to `member`'s declared types (their texts moved
// out) and checked against `caller`: kOk, or the dispatch failure (count,
// type, range, access).
int32_t ConvertArguments(const MemberInfo& member, std::span<ScriptValue> args,
                         const CallerPolicy& caller, std::vector<Value>& converted);

// Conversion of one argument to a declared type.
std::variant<Value, int32_t> ConvertArgument(ScriptValue arg, ValueType type);

}  // namespace quorvel::registration
