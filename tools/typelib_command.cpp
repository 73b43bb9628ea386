#include "tools/typelib_command.h"

#include <memory>
#include <nlohmann/json.hpp>

#include "control/registration/type_library.h"
#include "host/member_description.h"
#include "platform/text/hex.h"

namespace quorvel::tools {
namespace {

using nlohmann::json;

json Describe() {
  json types = json::array();
  for (const registration::TypeInfoEntry& entry : registration::kTypeInfos) {
    json flags = json::array();
    for (const std::string_view flag : entry.flags) {
      if (!flag.empty()) flags.push_back(flag);
    }
    json implemented = json::array();
    for (const std::string_view type : entry.implemented) {
      if (!type.empty()) implemented.push_back(type);
    }
    types.push_back({{"kind", entry.kind},
                     {"name", entry.name},
                     {"guid", entry.guid},
                     {"helpString", entry.helpString},
                     {"flags", std::move(flags)},
                     {"implemented", std::move(implemented)}});
  }
  json members = json::array();
  for (const registration::MemberInfo& member : registration::MemberTable()) {
    json entry = host::DescribeMember(member);
    entry["helpString"] = registration::HelpString(member);
    entry["helpStringCp936"] = platform::LowerHex(registration::StoredHelpString(member));
    members.push_back(std::move(entry));
  }
  const registration::TypeInfoEntry& library = registration::kTypeLibrary;
  return {{"library",
           {{"name", library.name},
            {"guid", library.guid},
            {"version", registration::kTypeLibraryVersion},
            {"locale", registration::kTypeLibraryLocale},
            {"helpString", library.helpString}}},
          {"moduleVersion", registration::kModuleVersion},
          {"types", std::move(types)},
          {"members", std::move(members)}};
}

void PrintText(const json& described, std::ostream& out) {
  const json& library = described["library"];
  out << "library " << library["name"].get<std::string>() << " "
      << library["guid"].get<std::string>() << " version " << library["version"].get<std::string>()
      << " \"" << library["helpString"].get<std::string>() << "\"\n";
  for (const json& type : described["types"]) {
    out << "  " << type["kind"].get<std::string>() << " " << type["name"].get<std::string>() << " "
        << type["guid"].get<std::string>();
    for (const json& flag : type["flags"]) out << " " << flag.get<std::string>();
    out << " \"" << type["helpString"].get<std::string>() << "\"\n";
    for (const json& implemented : type["implemented"]) {
      out << "    " << implemented.get<std::string>() << "\n";
    }
  }
  for (const json& member : described["members"]) {
    out << "    [id(" << member["dispid"].get<int>() << "), " << member["kind"].get<std::string>()
        << ", helpstring(\"" << member["helpString"].get<std::string>() << "\")] "
        << member["name"].get<std::string>() << "(";
    bool first = true;
    for (const json& param : member["params"]) {
      out << (first ? "" : ", ") << param["type"].get<std::string>() << " "
          << param["name"].get<std::string>();
      first = false;
    }
    out << ")";
    if (!member["result"].is_null()) out << " -> " << member["result"].get<std::string>();
    out << "\n";
  }
}

}  // namespace

void AddTypelibCommand(CLI::App& app, std::ostream& out) {
  auto asJson = std::make_shared<bool>(false);
  CLI::App* command = app.add_subcommand("typelib", "Print the control's type information");
  command->add_flag("--json", *asJson, "Print JSON");
  command->callback([asJson, &out] {
    const json described = Describe();
    if (*asJson) {
      out << described.dump(2) << "\n";
    } else {
      PrintText(described, out);
    }
  });
}

}  // namespace quorvel::tools
