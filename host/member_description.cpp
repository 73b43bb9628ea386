#include "host/member_description.h"

namespace quorvel::host {

nlohmann::json DescribeMember(const registration::MemberInfo& member) {
  using nlohmann::json;
  json params = json::array();
  for (const auto& param : member.params) {
    params.push_back({{"name", param.name}, {"type", registration::TypeName(param.type)}});
  }
  json result = member.result == registration::ValueType::kNone
                    ? json(nullptr)
                    : json(registration::TypeName(member.result));
  return {{"dispid", member.dispid},
          {"name", member.name},
          {"kind", registration::KindName(member.kind)},
          {"params", std::move(params)},
          {"result", std::move(result)},
          {"implemented", member.binding != nullptr}};
}

}  // namespace quorvel::host
