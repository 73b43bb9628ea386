#include <filesystem>
#include <string>
#include <vector>

#include "tools/host_session_fixture.h"

namespace quorvel::tools {
namespace {

constexpr const char* kSettingsKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\"
    "{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}\\CtlSettings";

using HostContainerTest = HostSessionTest;

TEST_F(HostContainerTest, AddFileRefusesAnOverlongNameAndAnEmptyOneInServerMode) {
  Script({{{"dialog", "open"}, {"path", "/etc/hostname"}}});
  const std::vector<json> r = Session({Invoke("QVAddFile", {std::string(257, 'n')}), ErrorNum(),
                                       ErrMsg(), Invoke("QVServerMode", {1}, "put"),
                                       Invoke("QVAddFile", {""}), ErrorNum(), ErrMsg()});
  EXPECT_EQ(r[0]["result"]["status"], 1);
  EXPECT_EQ(r[1]["result"]["value"], -10056);
  EXPECT_EQ(r[2]["result"]["value"], "文件名超长");
  EXPECT_EQ(r[4]["result"]["status"], 1);
  EXPECT_EQ(r[5]["result"]["value"], -10001);
  EXPECT_EQ(r[6]["result"]["value"], "源数据为空");
  EXPECT_TRUE(Dialogs().empty());
}

TEST_F(HostContainerTest, ACancelledOpenDialogIsUserCancelled) {
  Script({{{"dialog", "open"}, {"cancel", true}}});
  const std::vector<json> r = Session({Invoke("QVAddFile", {""}), ErrorNum(), ErrMsg()});
  EXPECT_EQ(r[0]["result"]["status"], 1);
  EXPECT_EQ(r[1]["result"]["value"], -10004);
  EXPECT_EQ(r[2]["result"]["value"], "用户取消");
  const std::vector<json> dialogs = Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["kind"], "open");
  EXPECT_EQ(dialogs[0]["title"], "Open");
  EXPECT_EQ(dialogs[0]["filter"], "*.*");
  EXPECT_EQ(dialogs[0]["answer"], "cancelled");
}

TEST_F(HostContainerTest, AFileChosenInTheOpenDialogIsAdded) {
  const std::filesystem::path file = root_ / "x.txt";
  std::ofstream(file) << "hello";
  Script({{{"dialog", "open"}, {"path", file.string()}}});
  const std::vector<json> r =
      Session({Invoke("QVAddFormItem", {"ab"}), Invoke("QVAddFile", {""}), ErrorNum()});
  EXPECT_EQ(r[0]["result"]["status"], 0);
  EXPECT_EQ(r[1]["result"]["status"], 0);
  EXPECT_EQ(r[2]["result"]["value"], 0);
}

TEST_F(HostContainerTest, ServerModeSavesWhereTheRegistrySaysInALaterProcess) {
  const std::filesystem::path stub = root_ / "stub";
  std::filesystem::create_directories(stub);
  std::string output;
  ASSERT_EQ(Run({"reg", "set", kSettingsKey, "stubPath", stub.string() + "/"}, "", output), 0);

  const std::vector<json> r = Session({{"test.setReceivedPlainText",
                                        {{"text",
                                          "0000001000000002ab00000062"
                                          "00000019000000065.jsonhello"
                                          "0000002700000016../../escape.txtbye"}}},
                                       Invoke("QVServerMode", {1}, "put"),
                                       Invoke("QVGetFile"),
                                       Invoke("QVGetFile"),
                                       Invoke("QVGetFormItem"),
                                       Invoke("QVGetFile"),
                                       ErrMsg()});
  EXPECT_EQ(r[0]["result"], nullptr) << r[0];
  EXPECT_EQ(r[2]["result"], json({{"status", 0}, {"value", "5.json"}}));
  EXPECT_EQ(r[3]["result"], json({{"status", 0}, {"value", "../../escape.txt"}}));
  EXPECT_EQ(r[4]["result"], json({{"status", 0}, {"value", "ab"}}));
  EXPECT_EQ(r[5]["result"]["status"], 1);
  EXPECT_EQ(r[6]["result"]["value"], "源数据为空");
  EXPECT_EQ(ReadFile(stub / "5.json"), "hello");
  EXPECT_EQ(ReadFile(stub / "escape.txt"), "bye");
  EXPECT_FALSE(std::filesystem::exists(root_ / "escape.txt"));
  EXPECT_FALSE(std::filesystem::exists(root_.parent_path() / "escape.txt"));
  EXPECT_TRUE(Dialogs().empty());
}

TEST_F(HostContainerTest, ServerModeWithoutTheSettingFailsWithoutSaving) {
  const std::vector<json> r = Session({{"test.setReceivedPlainText",
                                        {{"base64",
                                          "MDAwMDAwMDAwMDAwMDAyNjAwMDAwMDE4MDAwMDAwMDVh"
                                          "LnR4dGhlbGxv"}}},
                                       Invoke("QVServerMode", {1}, "put"),
                                       Invoke("QVGetFile"),
                                       ErrorNum(),
                                       ErrMsg()});
  EXPECT_EQ(r[2]["result"]["status"], 1);
  EXPECT_EQ(r[3]["result"]["value"], -10006);
  EXPECT_EQ(r[4]["result"]["value"], "找不到包含文件保存路径的注册表记录项!");
}

TEST_F(HostContainerTest, TheTestSeamIsUnreachableUnlessEnabled) {
  const std::vector<json> r =
      Session({{"test.setReceivedPlainText", {{"text", "0000001000000002ab"}}},
               Invoke("QVGetFormItem"),
               ErrMsg()},
              false);
  EXPECT_EQ(r[0]["error"]["code"], -32601);
  EXPECT_EQ(r[1]["result"]["status"], 1);
  EXPECT_EQ(r[2]["result"]["value"], "源数据为空");
}

}  // namespace
}  // namespace quorvel::tools
