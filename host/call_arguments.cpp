#include "host/call_arguments.h"

#include <memory>
#include <nlohmann/json.hpp>
#include <span>
#include <string>

#include "host/json_text.h"
#include "platform/text/code_page.h"

namespace quorvel::host {
namespace {

using nlohmann::json;
using registration::ScriptValue;
using registration::Value;
using registration::ValueType;

// A long string that can no longer be decoded: the call fails rather than
// take anything else for it.
struct LostText {};

ScriptValue ToScriptValue(const json& arg, const LargeStrings& large) {
  switch (arg.type()) {
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
    case json::value_t::string: {
      const auto& utf8 = arg.get_ref<const std::string&>();
      const ptrdiff_t index = large.Find(utf8);
      if (index < 0) return platform::Utf8ToUtf16(utf8);
      std::optional<std::u16string> units = large.Decoded(static_cast<size_t>(index));
      if (!units) throw LostText();
      return std::move(*units);
    }
    default:
      return std::monostate{};
  }
}

ModuleText TextOf(ModuleObject& object, std::u16string_view units) {
  ModuleText text = object.NewText(units.size());
  std::copy(units.begin(), units.end(), text.units());
  return text;
}

// A string argument decoded into the module's text, then released; a long
// one straight from the message.
ModuleText DecodedText(ModuleObject& object, json& arg, LargeStrings& large) {
  const auto& utf8 = arg.get_ref<const std::string&>();
  if (const ptrdiff_t index = large.Find(utf8); index >= 0) {
    const size_t length = large.Units(static_cast<size_t>(index));
    ModuleText text = object.NewText(length);
    arg = nullptr;
    if (!large.DecodeArgument(static_cast<size_t>(index),
                              std::span<char16_t>(text.units(), length))) {
      throw LostText();
    }
    return text;
  }
  const size_t length = platform::Utf16Length(utf8);
  ModuleText text = object.NewText(length);
  platform::Utf8ToUtf16(utf8, std::span<char16_t>(text.units(), length));
  arg = nullptr;
  return text;
}

}  // namespace

bool IsScalarArgument(const json& arg) {
  return arg.is_null() || arg.is_boolean() || arg.is_number() || arg.is_string();
}

int32_t ConvertCallArguments(ModuleObject& object, const registration::MemberInfo& member,
                             json* args, LargeStrings& large,
                             const registration::CallerPolicy& caller,
                             std::vector<CallValue>& converted) {
  try {
    const size_t count = args == nullptr ? 0 : args->size();
    if (count != member.params.size()) return registration::hresult::kBadParamCount;
    converted.clear();
    converted.reserve(count);
    std::unique_ptr<bool[]> nonEmptyTexts(new bool[count == 0 ? 1 : count]());
    for (size_t i = 0; i < count; ++i) {
      json& arg = (*args)[i];
      const ValueType type = member.params[i].type;
      if (type == ValueType::kString && (arg.is_string() || arg.is_null())) {
        converted.emplace_back(arg.is_null() ? object.NewText(0) : DecodedText(object, arg, large));
      } else {
        auto result = registration::ConvertArgument(ToScriptValue(arg, large), type);
        if (const auto* hr = std::get_if<int32_t>(&result)) return *hr;
        Value& value = std::get<Value>(result);
        if (const auto* text = std::get_if<std::u16string>(&value)) {
          converted.emplace_back(TextOf(object, *text));
        } else if (const auto* number = std::get_if<int32_t>(&value)) {
          converted.emplace_back(*number);
        } else if (const auto* unsignedNumber = std::get_if<uint32_t>(&value)) {
          converted.emplace_back(*unsignedNumber);
        }
      }
      if (const auto* text = std::get_if<ModuleText>(&converted.back())) {
        nonEmptyTexts[i] = !text->view().empty();
      }
    }
    return registration::CheckCaller(member, std::span<const bool>(nonEmptyTexts.get(), count),
                                     caller);
  } catch (const LostText&) {
    return registration::abi::hr::kFail;
  }
}

void AppendCallValue(const CallValue& value, std::string& out) {
  if (const auto* text = std::get_if<ModuleText>(&value)) {
    AppendJsonString(text->view(), out);
  } else if (const auto* number = std::get_if<int32_t>(&value)) {
    out += std::to_string(*number);
  } else if (const auto* unsignedNumber = std::get_if<uint32_t>(&value)) {
    out += std::to_string(*unsignedNumber);
  } else {
    out += "null";
  }
}

}  // namespace quorvel::host
