// A request's arguments converted once, to the member's declared types, the
// texts decoded from the request straight into texts of the module.
#pragma once

#include <cstdint>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "control/registration/dispatch.h"
#include "host/control_module.h"
#include "host/large_strings.h"

namespace quorvel::host {

// kOk with `converted` filled, or the dispatch failure (count, type, range,
// access under `caller`). Each string of `args` is released once decoded, so
// that a large text is held twice at most while it is converted.
int32_t ConvertCallArguments(ModuleObject& object, const registration::MemberInfo& member,
                             nlohmann::json* args, LargeStrings& large,
                             const registration::CallerPolicy& caller,
                             std::vector<CallValue>& converted);

// Whether a JSON value can be an argument at all (not an object or array).
bool IsScalarArgument(const nlohmann::json& arg);

// Appends the JSON of a member's result: its text, number or null.
void AppendCallValue(const CallValue& value, std::string& out);

}  // namespace quorvel::host
