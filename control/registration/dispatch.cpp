#include "control/registration/dispatch.h"

#include <algorithm>

#include <charconv>
#include <cmath>
#include <limits>
#include <vector>
#include "control/registration/ascii.h"

#include "platform/text/code_page.h"

namespace quorvel::registration {
namespace {

template <typename Matches>
Resolution Resolve(Matches&& matches, int32_t notFound, std::optional<MemberKind> kind,
                   size_t argumentCount) {
  const MemberInfo* byKind[3] = {nullptr, nullptr, nullptr};
  bool any = false;
  for (const MemberInfo& member : MemberTable()) {
    if (!matches(member)) continue;
    any = true;
    byKind[static_cast<size_t>(member.kind)] = &member;
  }
  if (!any) return {nullptr, notFound};
  auto pick = [&](MemberKind k) { return byKind[static_cast<size_t>(k)]; };
  const MemberInfo* chosen = nullptr;
  if (kind) {
    chosen = pick(*kind);
  } else {
    chosen = pick(MemberKind::kMethod);
    if (chosen == nullptr) {
      chosen = pick(argumentCount == 0 ? MemberKind::kPropertyGet : MemberKind::kPropertyPut);
    }
  }
  if (chosen == nullptr) return {nullptr, hresult::kMemberNotFound};
  return {chosen, hresult::kOk};
}

// Decimal integer text with optional surrounding spaces and sign.
std::optional<int64_t> ParseInteger(std::u16string_view text) {
  std::string ascii;
  for (const char16_t c : text) {
    if (c > 0x7F) return std::nullopt;
    ascii.push_back(static_cast<char>(c));
  }
  const auto first = ascii.find_first_not_of(' ');
  const auto last = ascii.find_last_not_of(' ');
  if (first == std::string::npos) return std::nullopt;
  std::string_view digits(ascii.data() + first, last - first + 1);
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec == std::errc::result_out_of_range) return std::numeric_limits<int64_t>::max();
  if (ec != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

std::u16string DecimalText(int64_t value) {
  return platform::Utf8ToUtf16(std::to_string(value));
}

std::u16string DecimalText(double value) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return platform::Utf8ToUtf16(std::string_view(buffer, ec == std::errc{} ? end - buffer : 0));
}

template <typename T>
std::variant<Value, int32_t> ToInteger(const ScriptValue& arg) {
  int64_t number = 0;
  if (const auto* i = std::get_if<int64_t>(&arg)) {
    number = *i;
  } else if (const auto* d = std::get_if<double>(&arg)) {
    if (!std::isfinite(*d)) return hresult::kOverflow;
    // Halves round to even, as the platform's variant conversion does.
    const double rounded = std::nearbyint(*d);
    if (rounded < -9.2e18 || rounded > 9.2e18) return hresult::kOverflow;
    number = static_cast<int64_t>(rounded);
  } else if (const auto* s = std::get_if<std::u16string>(&arg)) {
    const auto parsed = ParseInteger(*s);
    if (!parsed) return hresult::kTypeMismatch;
    number = *parsed;
  } else {
    return hresult::kTypeMismatch;
  }
  if (number < std::numeric_limits<T>::min() || number > std::numeric_limits<T>::max()) {
    return hresult::kOverflow;
  }
  return Value{static_cast<T>(number)};
}

}  // namespace

std::string_view DescribeHresult(int32_t hr) {
  switch (hr) {
    case hresult::kNotImplemented:
      return "Not implemented.";
    case hresult::kMemberNotFound:
      return "Member not found.";
    case hresult::kTypeMismatch:
      return "Type mismatch.";
    case hresult::kUnknownName:
      return "Unknown name.";
    case hresult::kOverflow:
      return "Out of present range.";
    case hresult::kBadParamCount:
      return "Invalid number of parameters.";
    case hresult::kClassNotRegistered:
      return "Class not registered.";
    case hresult::kAccessDenied:
      return "Access is denied.";
    default:
      return "Dispatch failure.";
  }
}

Resolution ResolveMember(std::string_view name, std::optional<MemberKind> kind,
                         size_t argumentCount) {
  return Resolve([&](const MemberInfo& m) { return EqualsIgnoringCase(m.name, name); },
                 hresult::kUnknownName, kind, argumentCount);
}

Resolution ResolveMember(int32_t dispid, std::optional<MemberKind> kind, size_t argumentCount) {
  return Resolve([&](const MemberInfo& m) { return m.dispid == dispid; }, hresult::kMemberNotFound,
                 kind, argumentCount);
}

std::variant<Value, int32_t> ConvertArgument(ScriptValue arg, ValueType type) {
  switch (type) {
    case ValueType::kString:
      if (std::holds_alternative<std::monostate>(arg)) return Value{std::u16string()};
      if (auto* s = std::get_if<std::u16string>(&arg)) return Value{std::move(*s)};
      if (const auto* i = std::get_if<int64_t>(&arg)) return Value{DecimalText(*i)};
      if (const auto* d = std::get_if<double>(&arg)) return Value{DecimalText(*d)};
      return hresult::kTypeMismatch;
    case ValueType::kLong:
      return ToInteger<int32_t>(arg);
    case ValueType::kUnsignedLong:
      return ToInteger<uint32_t>(arg);
    case ValueType::kNone:
      break;
  }
  return hresult::kTypeMismatch;
}

int32_t ConvertArguments(const MemberInfo& member, std::span<ScriptValue> args,
                         const CallerPolicy& caller, std::vector<Value>& converted) {
  if (args.size() != member.params.size()) return hresult::kBadParamCount;
  converted.clear();
  converted.reserve(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    auto result = ConvertArgument(std::move(args[i]), member.params[i].type);
    if (const auto* hr = std::get_if<int32_t>(&result)) return *hr;
    converted.push_back(std::move(std::get<Value>(result)));
  }
  return CheckCaller(member, converted, caller);
}

InvokeResult Invoke(control::CDrennicQuorvel& object, const MemberInfo& member,
                    std::span<ScriptValue> args, const CallerPolicy& caller) {
  std::vector<Value> converted;
  if (const int32_t hr = ConvertArguments(member, args, caller, converted); hr != hresult::kOk) {
    return InvokeResult{hr, control::Status::kOk, {}};
  }
  return InvokeConverted(object, member, converted);
}

InvokeResult InvokeConverted(control::CDrennicQuorvel& object, const MemberInfo& member,
                             std::span<Value> args) {
  auto refused = [](int32_t hr) { return InvokeResult{hr, control::Status::kOk, {}}; };
  if (args.size() != member.params.size()) return refused(hresult::kBadParamCount);
  if (member.binding == nullptr) return refused(hresult::kNotImplemented);
  InvokeResult outcome;
  outcome.status = member.binding->invoke(object, args, outcome.value);
  return outcome;
}

}  // namespace quorvel::registration
