// `quorvel register` and `quorvel unregister` as an installer runs them: the
// module's own exports write the class, its identifiers and its settings into
// the registry stand-in, and remove them again.
#include <string>
#include <vector>

#include "tools/host_session_fixture.h"

namespace quorvel::tools {
namespace {

constexpr const char* kClassKey = "HKCR\\CLSID\\{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}";

class RegisterCommandTest : public HostSessionTest {
 protected:
  // The value `name` of `key`; nullopt when `quorvel reg get` finds none.
  std::optional<std::string> Get(const std::string& key, const std::string& name = "") {
    std::string output;
    if (Run({"reg", "get", key, name}, "", output) != 0) return std::nullopt;
    while (!output.empty() && output.back() == '\n') output.pop_back();
    return output;
  }
};

TEST_F(RegisterCommandTest, RegistersTheClassAndRemovesItAgain) {
  std::string output;
  ASSERT_EQ(Run({"register", "--module", QUORVEL_MODULE_PATH}, "", output), 0) << output;
  const std::string clsid = "{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}";
  const std::string classKey = kClassKey;
  struct Expected {
    std::string key;
    std::string name;
    std::string value;
  };
  const std::vector<Expected> values = {
      {"HKCR\\Quorvel.DrennicQuorvel2.1", "", "DrennicQuorvel20 Class"},
      {"HKCR\\Quorvel.DrennicQuorvel2.1\\CLSID", "", clsid},
      {"HKCR\\Quorvel.DrennicQuorvel2\\CLSID", "", clsid},
      {"HKCR\\Quorvel.DrennicQuorvel2\\CurVer", "", "Quorvel.DrennicQuorvel2.1"},
      {classKey, "", "DrennicQuorvel20 Class"},
      {classKey + "\\ProgID", "", "Quorvel.DrennicQuorvel2.1"},
      {classKey + "\\VersionIndependentProgID", "", "Quorvel.DrennicQuorvel2"},
      {classKey + "\\InprocServer32", "", QUORVEL_MODULE_PATH},
      {classKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {classKey + "\\CtlSettings", "stubPath", (root_ / "home" / "stub").string() + "/"},
      {classKey + "\\ToolboxBitmap32", "", std::string(QUORVEL_MODULE_PATH) + ", 101"},
      {classKey + "\\MiscStatus", "", "0"},
      {classKey + "\\MiscStatus\\1", "", "131473"},
      {classKey + "\\TypeLib", "", "{0C4F8A21-5D3E-4B6A-8F17-93E2B5C0D4A8}"},
      {classKey + "\\Version", "", "1.0"},
  };
  for (const Expected& expected : values) {
    EXPECT_EQ(Get(expected.key, expected.name), expected.value)
        << expected.key << " " << expected.name;
  }
  for (const char* empty : {"\\Programmable", "\\Control", "\\Insertable"}) {
    EXPECT_EQ(Run({"reg", "list", classKey + empty}, "", output), 0) << empty;
  }

  ASSERT_EQ(Run({"unregister", "--module", QUORVEL_MODULE_PATH}, "", output), 0) << output;
  for (const char* key :
       {"HKCR\\Quorvel.DrennicQuorvel2.1", "HKCR\\Quorvel.DrennicQuorvel2", kClassKey}) {
    EXPECT_NE(Run({"reg", "list", key}, "", output), 0) << key;
  }
  EXPECT_EQ(Run({"reg", "list", "HKCR\\CLSID"}, "", output), 0);
  EXPECT_NE(Run({"register", "--module", (root_ / "absent.so").string()}, "", output), 0);
}

// The host creates its objects from the module the registry names once the
// class is registered, and from the built-in identifiers before.
TEST_F(RegisterCommandTest, TheHostCreatesObjectsThroughTheRegisteredModule) {
  auto create = [&](const json& params) {
    const std::string request =
        json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", "create"}, {"params", params}}.dump() + "\n";
    std::string output;
    EXPECT_EQ(Run({"host", "--stdio"}, request, output), 0);
    const json answer = json::parse(output);
    return answer.contains("result") ? 0 : answer["error"]["code"].get<int>();
  };
  constexpr int kNotRegistered = static_cast<int>(0x80040154u);
  const json progId = {{"progid", "Quorvel.DrennicQuorvel2"}};
  const json clsid = {{"clsid", "6b1e2d40-7c55-4a1f-9e3b-2d8c41f0a7b6"}};
  EXPECT_EQ(create(progId), 0);  // not registered: the built-in identifiers
  std::string output;
  ASSERT_EQ(Run({"register", "--module", QUORVEL_MODULE_PATH}, "", output), 0) << output;
  EXPECT_EQ(create(progId), 0);
  EXPECT_EQ(create({{"progid", "quorvel.drennicquorvel2.1"}}), 0);

  // A registered path that holds no module, and a ProgID registered to another class.
  const std::string server = std::string(kClassKey) + "\\InprocServer32";
  ASSERT_EQ(Run({"reg", "set", server, "", (root_ / "absent.so").string()}, "", output), 0);
  EXPECT_EQ(create(progId), kNotRegistered);
  EXPECT_EQ(create(clsid), kNotRegistered);
  ASSERT_EQ(Run({"reg", "set", server, "", QUORVEL_MODULE_PATH}, "", output), 0);
  EXPECT_EQ(create(clsid), 0);
  ASSERT_EQ(Run({"reg", "set", "HKCR\\Quorvel.DrennicQuorvel2\\CLSID", "",
                 "{00000000-0000-0000-0000-000000000001}"},
                "", output),
            0);
  EXPECT_EQ(create(progId), kNotRegistered);
  EXPECT_EQ(create({{"progid", "CLSID\\{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}"}}), kNotRegistered);
}

TEST_F(RegisterCommandTest, TypeInformationMatchesTheMembersAndTheVersions) {
  std::string output;
  ASSERT_EQ(Run({"typelib", "--json"}, "", output), 0);
  const json typelib = json::parse(output);
  const std::vector<json> r = Session({{"members", json::object()}, Invoke("getVersion")});
  const json& members = r[0]["result"];
  ASSERT_EQ(typelib["members"].size(), 59u);
  ASSERT_EQ(members.size(), 59u);
  for (size_t i = 0; i < members.size(); ++i) {
    const json& entry = typelib["members"][i];
    for (const char* field : {"dispid", "name", "kind", "params", "result"}) {
      EXPECT_EQ(entry[field], members[i][field]) << i << " " << field;
    }
    const std::string help = entry["helpString"];
    if (entry["dispid"].get<int>() >= 52) {
      EXPECT_EQ(help, "方法" + entry["name"].get<std::string>());
      // 方法 in code page 936.
      EXPECT_EQ(entry["helpStringCp936"].get<std::string>().substr(0, 8), "b7bdb7a8");
    } else {
      EXPECT_TRUE(help.starts_with("method ") || help.starts_with("property ")) << help;
    }
  }
  for (const json& type : typelib["types"]) {
    if (type["kind"] == "coclass") {
      EXPECT_EQ(type["flags"], json({"creatable"}));
      EXPECT_EQ(type["implemented"],
                json({"[default] interface IVemlorDrennicQuorvel",
                      "[default, source] dispinterface _IVemlorDrennicQuorvelEvents"}));
    } else if (type["kind"] == "interface") {
      EXPECT_EQ(type["flags"], json({"dual", "oleautomation"}));
    }
  }
  EXPECT_EQ(typelib["library"]["helpString"], "VemlorQuorvel 2.0 Type Library");
  EXPECT_EQ(typelib["library"]["locale"], 1033);

  // getVersion, the type information and the module's version record agree.
  EXPECT_EQ(r[1]["result"]["value"], typelib["moduleVersion"]);
  const std::string module = ReadFile(QUORVEL_MODULE_PATH);
  const std::string version = typelib["moduleVersion"];
  EXPECT_NE(module.find(std::string("FileVersion=") + version + '\0' + "ProductVersion=" + version),
            std::string::npos);
}

}  // namespace
}  // namespace quorvel::tools
