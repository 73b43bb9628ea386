// The automation surface of the control, written once as data: every member's
// dispatch identifier, kind, name, parameters and result, and the function
// that implements it. Dispatch, the host's `members` listing and the clients
// are all derived from this table.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "control/control.h"

namespace quorvel::registration {

enum class MemberKind { kMethod, kPropertyGet, kPropertyPut };
enum class ValueType { kNone, kString, kLong, kUnsignedLong };

// An argument or result after conversion to the member's declared type.
using Value = std::variant<std::monostate, std::u16string, int32_t, uint32_t>;

struct ParamInfo {
  std::string_view name;
  ValueType type;
};

// A member function bound to the table: its input types and output type as
// the C++ signature declares them, and a function that calls it with
// converted values.
// `entry` gives the member's slot in the dual interface's function table: a
// C function taking the object, the inputs as C values and a pointer for the
// result, and returning an HRESULT (its type depends on the member, hence the
// erased pointer).
using ErasedEntry = void (*)();
struct Binding {
  std::span<const ValueType> inputs;
  ValueType output;
  control::Status (*invoke)(control::CDrennicQuorvel&, std::span<Value>, Value&);
  ErasedEntry (*entry)();
};

struct MemberInfo {
  int32_t dispid;
  MemberKind kind;
  std::string_view name;
  std::span<const ParamInfo> params;
  ValueType result;
  std::string_view resultName;
  // Null while the member is not implemented in this build.
  const Binding* binding;
};

inline constexpr size_t kMemberCount = 59;

std::span<const MemberInfo> MemberTable();

std::string_view KindName(MemberKind kind);
std::string_view TypeName(ValueType type);

}  // namespace quorvel::registration
