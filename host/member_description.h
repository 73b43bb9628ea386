// A member of the table as the host's `members` method lists it.
#pragma once

#include <nlohmann/json.hpp>

#include "control/registration/member_table.h"

namespace quorvel::host {

// {"dispid", "name", "kind", "params": [{"name", "type"}], "result", "implemented"}
nlohmann::json DescribeMember(const registration::MemberInfo& member);

}  // namespace quorvel::host
