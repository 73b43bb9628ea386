#include "platform/storage/registry.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/storage/database.h"
#include "tests/temporary_home.h"

namespace quorvel::platform {
namespace {

constexpr std::string_view kClassKey =
    "HKEY_CLASSES_ROOT\\CLSID\\{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}";
constexpr std::string_view kSettingsKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}"
    "\\CtlSettings";

class RegistryTest : public TemporaryHome {
 protected:
  void SetUp() override {
    TemporaryHome::SetUp();
    ASSERT_FALSE(SharedDatabase(database_));
  }

  std::string Get(std::string_view key, std::string_view value) {
    std::string data;
    const std::error_code ec = Registry(*database_).GetString(key, value, data);
    return ec ? "<" + ec.message() + ">" : data;
  }

  std::shared_ptr<Database> database_;
};

TEST_F(RegistryTest, StoresStringValuesAndTheDefaultValue) {
  Registry registry(*database_);
  ASSERT_FALSE(registry.SetString(kSettingsKey, "stubPath", "c:\\quorvelStub\\"));
  ASSERT_FALSE(registry.SetString(kClassKey, "", "DrennicQuorvel20 Class"));
  EXPECT_EQ(Get(kSettingsKey, "stubPath"), "c:\\quorvelStub\\");
  EXPECT_EQ(Get(kClassKey, ""), "DrennicQuorvel20 Class");

  ASSERT_FALSE(registry.SetString(kSettingsKey, "stubPath", "/srv/stub/"));
  EXPECT_EQ(Get(kSettingsKey, "stubPath"), "/srv/stub/");
  ASSERT_FALSE(registry.SetString(kSettingsKey, "empty", ""));
  EXPECT_EQ(Get(kSettingsKey, "empty"), "");
  ASSERT_FALSE(registry.SetString("HKCU\\Software\\Quorvel", "名称", "中文值"));
  EXPECT_EQ(Get("HKEY_CURRENT_USER\\Software\\Quorvel", "名称"), "中文值");
}

TEST_F(RegistryTest, ClassesRootIsAViewOfTheMachineClassesKey) {
  Registry registry(*database_);
  ASSERT_FALSE(
      registry.SetString("HKCR\\Quorvel.DrennicQuorvel2\\CurVer", "", "Quorvel.DrennicQuorvel2.1"));
  EXPECT_EQ(Get("HKLM\\SOFTWARE\\Classes\\Quorvel.DrennicQuorvel2\\CurVer", ""),
            "Quorvel.DrennicQuorvel2.1");
  ASSERT_FALSE(registry.SetString(kSettingsKey, "stubPath", "/srv/stub/"));
  EXPECT_EQ(Get(std::string(kClassKey) + "\\CtlSettings", "stubPath"), "/srv/stub/");

  RegistryKeyListing root;
  ASSERT_FALSE(registry.List("HKEY_CLASSES_ROOT", root));
  EXPECT_EQ(root.subkeys, (std::vector<std::string>{"CLSID", "Quorvel.DrennicQuorvel2"}));
  // The machine and the user keys are separate trees.
  bool exists = true;
  ASSERT_FALSE(registry.KeyExists("HKCU\\SOFTWARE\\Classes\\CLSID", exists));
  EXPECT_FALSE(exists);
}

TEST_F(RegistryTest, ComparesNamesWithoutRegardToCaseAndKeepsTheirSpelling) {
  Registry registry(*database_);
  ASSERT_FALSE(registry.SetString("hklm\\Software\\Vendor\\Ärger", "StubPath", "one"));
  ASSERT_FALSE(
      registry.SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\ärger", "STUBPATH", "two"));
  EXPECT_EQ(Get("HKLM\\software\\vendor\\ÄRGER", "stubpath"), "two");

  RegistryKeyListing listing;
  ASSERT_FALSE(registry.List("HKLM\\SOFTWARE\\vendor", listing));
  EXPECT_EQ(listing.subkeys, std::vector<std::string>{"Ärger"});
  ASSERT_FALSE(registry.List("HKLM\\SOFTWARE\\vendor\\ärger", listing));
  ASSERT_EQ(listing.values.size(), 1u);
  EXPECT_EQ(listing.values[0].name, "StubPath");
  EXPECT_EQ(listing.values[0].data, "two");
}

TEST_F(RegistryTest, ListsSubkeysAndValuesInNameOrder) {
  Registry registry(*database_);
  for (const char* name : {"Programmable", "InprocServer32", "control"}) {
    ASSERT_FALSE(registry.CreateKey(std::string(kClassKey) + "\\" + name));
  }
  ASSERT_FALSE(registry.SetString(kClassKey, "Zeta", "z"));
  ASSERT_FALSE(registry.SetString(kClassKey, "alpha", "a"));
  ASSERT_FALSE(registry.SetString(kClassKey, "", "default"));

  RegistryKeyListing listing;
  ASSERT_FALSE(registry.List(kClassKey, listing));
  EXPECT_EQ(listing.subkeys,
            (std::vector<std::string>{"control", "InprocServer32", "Programmable"}));
  ASSERT_EQ(listing.values.size(), 3u);
  EXPECT_EQ(listing.values[0].name, "");
  EXPECT_EQ(listing.values[1].name, "alpha");
  EXPECT_EQ(listing.values[2].name, "Zeta");
}

TEST_F(RegistryTest, ReportsMissingKeysAndValues) {
  Registry registry(*database_);
  std::string data;
  EXPECT_EQ(registry.GetString(kSettingsKey, "stubPath", data), RegistryErrc::kKeyNotFound);
  ASSERT_FALSE(registry.CreateKey(kSettingsKey));
  EXPECT_EQ(registry.GetString(kSettingsKey, "stubPath", data), RegistryErrc::kValueNotFound);
  EXPECT_EQ(registry.GetString(kSettingsKey, "", data), RegistryErrc::kValueNotFound);
  EXPECT_EQ(registry.DeleteValue(kSettingsKey, "stubPath"), RegistryErrc::kValueNotFound);
  EXPECT_EQ(registry.DeleteKey(std::string(kSettingsKey) + "\\Missing"),
            RegistryErrc::kKeyNotFound);
  RegistryKeyListing listing;
  EXPECT_EQ(registry.List("HKLM\\Nowhere", listing), RegistryErrc::kKeyNotFound);
}

TEST_F(RegistryTest, DeletesValuesAndWholeSubtrees) {
  Registry registry(*database_);
  const std::string inproc = std::string(kClassKey) + "\\InprocServer32";
  ASSERT_FALSE(registry.SetString(kSettingsKey, "stubPath", "/srv/stub/"));
  ASSERT_FALSE(registry.SetString(inproc, "ThreadingModel", "Apartment"));
  ASSERT_FALSE(registry.SetString(std::string(kClassKey) + "\\MiscStatus\\1", "", "131473"));
  ASSERT_FALSE(registry.SetString("HKCR\\CLSID\\{OTHER}", "", "kept"));

  ASSERT_FALSE(registry.DeleteValue(inproc, "threadingmodel"));
  EXPECT_EQ(Get(inproc, "ThreadingModel"), "<the registry value does not exist>");

  ASSERT_FALSE(registry.DeleteKey(kClassKey));
  bool exists = true;
  ASSERT_FALSE(registry.KeyExists(kClassKey, exists));
  EXPECT_FALSE(exists);
  ASSERT_FALSE(registry.KeyExists(std::string(kClassKey) + "\\MiscStatus\\1", exists));
  EXPECT_FALSE(exists);
  EXPECT_EQ(Get("HKCR\\CLSID\\{OTHER}", ""), "kept");

  // Nothing of the deleted tree comes back with a key of the same name.
  ASSERT_FALSE(registry.CreateKey(kSettingsKey));
  RegistryKeyListing listing;
  ASSERT_FALSE(registry.List(kSettingsKey, listing));
  EXPECT_TRUE(listing.values.empty());
  ASSERT_FALSE(registry.List(kClassKey, listing));
  EXPECT_EQ(listing.subkeys, std::vector<std::string>{"CtlSettings"});
}

TEST_F(RegistryTest, KeepsThePredefinedKeys) {
  Registry registry(*database_);
  for (const char* key : {"HKEY_LOCAL_MACHINE", "HKCU", "HKEY_CLASSES_ROOT",
                          "HKLM\\SOFTWARE\\Classes", "hklm\\software"}) {
    EXPECT_EQ(registry.DeleteKey(key), RegistryErrc::kPredefinedKey) << key;
  }
  ASSERT_FALSE(registry.SetString("HKLM\\SOFTWARE\\Classes\\.qv", "", "x"));
  bool exists = false;
  ASSERT_FALSE(registry.KeyExists("HKCR\\.qv", exists));
  EXPECT_TRUE(exists);
}

TEST_F(RegistryTest, RefusesMalformedPathsNamesAndData) {
  Registry registry(*database_);
  const std::string longName(kMaxKeyNameLength + 1, 'k');
  std::string deep = "HKLM";
  for (std::size_t i = 0; i <= kMaxKeyDepth; ++i) deep += "\\k";
  for (const std::string& path :
       {std::string(), std::string("SOFTWARE\\Classes"), std::string("HKEY_NOWHERE\\x"),
        std::string("HKLM\\a\\\\b"), std::string("HKLM\\a\\"), std::string("\\HKLM\\a"),
        "HKLM\\" + longName, std::string("HKLM\\bad\xC3"), std::string("HKLM\\nul\0x", 10), deep}) {
    EXPECT_EQ(registry.SetString(path, "v", "d"), RegistryErrc::kInvalidPath) << path;
  }
  ASSERT_FALSE(registry.CreateKey("HKLM\\" + std::string(kMaxKeyNameLength, 'k')));

  EXPECT_EQ(registry.SetString("HKLM\\a", "bad\xFF", "d"), RegistryErrc::kInvalidName);
  EXPECT_EQ(registry.SetString("HKLM\\a", std::string(kMaxValueNameLength + 1, 'v'), "d"),
            RegistryErrc::kInvalidName);
  EXPECT_EQ(registry.SetString("HKLM\\a", "v", std::string("nul\0inside", 10)),
            RegistryErrc::kInvalidData);
  EXPECT_EQ(registry.SetString("HKLM\\a", "v", "\xE4\xB8"), RegistryErrc::kInvalidData);
  EXPECT_EQ(registry.SetString("HKLM\\a", "v", std::string(kMaxValueDataBytes + 1, 'd')),
            RegistryErrc::kInvalidData);
  // A refused change leaves nothing behind, not even the key.
  bool exists = true;
  ASSERT_FALSE(registry.KeyExists("HKLM\\a", exists));
  EXPECT_FALSE(exists);
}

TEST_F(RegistryTest, ChangesReachEveryOtherConnection) {
  Registry registry(*database_);
  ASSERT_FALSE(registry.SetString(kSettingsKey, "stubPath", "/srv/stub/"));

  std::unique_ptr<Database> fresh;
  ASSERT_FALSE(Database::Open(database_->file(), fresh));
  std::string data;
  ASSERT_FALSE(Registry(*fresh).GetString(kSettingsKey, "stubPath", data));
  EXPECT_EQ(data, "/srv/stub/");
}

// A read that finds the key but not the value must not leave its
// connection behind in an old snapshot of the database.
TEST_F(RegistryTest, AMissingValueLeavesTheConnectionSeeingLaterChanges) {
  Registry registry(*database_);
  ASSERT_FALSE(registry.SetString(kSettingsKey, "a", "1"));
  std::unique_ptr<Database> other;
  ASSERT_FALSE(Database::Open(database_->file(), other));
  for (const char* value : {"2", "3"}) {
    EXPECT_EQ(registry.DeleteValue(kSettingsKey, "missing"), RegistryErrc::kValueNotFound);
    EXPECT_EQ(Get(kSettingsKey, "missing"),
              "<" + std::error_code(RegistryErrc::kValueNotFound).message() + ">");
    ASSERT_FALSE(Registry(*other).SetString(kSettingsKey, "a", value));
    EXPECT_EQ(Get(kSettingsKey, "a"), value);
  }
}

TEST_F(RegistryTest, SeveralChangesCanBeMadeAtomicTogether) {
  Registry registry(*database_);
  const std::error_code failure = std::make_error_code(std::errc::operation_canceled);
  EXPECT_EQ(database_->Transact([&]() -> std::error_code {
    if (const std::error_code ec = registry.SetString(kClassKey, "", "class")) return ec;
    if (const std::error_code ec = registry.SetString(kSettingsKey, "stubPath", "/s/")) return ec;
    return failure;
  }),
            failure);
  bool exists = true;
  ASSERT_FALSE(registry.KeyExists(kClassKey, exists));
  EXPECT_FALSE(exists);
}

}  // namespace
}  // namespace quorvel::platform
