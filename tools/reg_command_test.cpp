#include "tools/reg_command.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/temporary_home.h"
#include "tools/command_test_support.h"

extern char** environ;

namespace quorvel::tools {
namespace {

constexpr const char* kSettingsKey =
    "HKEY_CLASSES_ROOT\\CLSID\\{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}\\CtlSettings";

using cli_test::Outcome;

Outcome RunInProcess(std::vector<std::string> arguments) {
  return cli_test::RunInProcess(std::move(arguments), AddRegCommand);
}

// Runs the command in a process of its own and collects its standard output.
Outcome RunProcess(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  std::string program = QUORVEL_REG_DRIVER;
  argv.push_back(program.data());
  std::vector<std::string> copies = arguments;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);

  int pipeEnds[2];
  EXPECT_EQ(::pipe(pipeEnds), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  pid_t child = 0;
  const int spawned =
      ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeEnds[1]);
  Outcome outcome;
  if (spawned == 0) {
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
      outcome.out.append(buffer, static_cast<std::size_t>(n));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  } else {
    ADD_FAILURE() << "cannot start " << program;
    outcome.exitCode = -1;
  }
  ::close(pipeEnds[0]);
  return outcome;
}

using RegCommand = platform::TemporaryHome;

TEST_F(RegCommand, SetsAndGetsValuesIncludingTheDefaultValue) {
  EXPECT_EQ(RunInProcess({"reg", "set", kSettingsKey, "stubPath", "/srv/quorvel/stub/"}).exitCode,
            0);
  const Outcome got = RunInProcess({"reg", "get", kSettingsKey, "stubPath"});
  EXPECT_EQ(got.exitCode, 0);
  EXPECT_EQ(got.out, "/srv/quorvel/stub/\n");

  const std::string classKey = "HKCR\\CLSID\\{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}";
  EXPECT_EQ(RunInProcess({"reg", "set", classKey, "@", "DrennicQuorvel20 Class"}).exitCode, 0);
  EXPECT_EQ(RunInProcess({"reg", "get", classKey}).out, "DrennicQuorvel20 Class\n");
  EXPECT_EQ(RunInProcess({"reg", "get", classKey, ""}).out, "DrennicQuorvel20 Class\n");
  EXPECT_EQ(RunInProcess({"reg", "set", classKey, "", "replaced"}).exitCode, 0);
  EXPECT_EQ(
      RunInProcess({"reg", "get",
                    "HKLM\\SOFTWARE\\Classes\\CLSID\\{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}", "@"})
          .out,
      "replaced\n");
}

TEST_F(RegCommand, ListsSubkeysThenValues) {
  const std::string classKey = "HKLM\\SOFTWARE\\Classes\\CLSID\\{X}";
  ASSERT_EQ(
      RunInProcess({"reg", "set", classKey + "\\InprocServer32", "ThreadingModel", "Apartment"})
          .exitCode,
      0);
  ASSERT_EQ(
      RunInProcess({"reg", "set", classKey + "\\CtlSettings", "stubPath", "c:\\quorvelStub\\"})
          .exitCode,
      0);
  ASSERT_EQ(RunInProcess({"reg", "set", classKey, "@", "DrennicQuorvel20 Class"}).exitCode, 0);
  ASSERT_EQ(RunInProcess({"reg", "set", classKey, "Version", "1.0"}).exitCode, 0);
  const Outcome listed = RunInProcess({"reg", "list", "hkcr\\clsid\\{x}"});
  EXPECT_EQ(listed.exitCode, 0);
  EXPECT_EQ(listed.out,
            "CtlSettings\\\nInprocServer32\\\n@ = DrennicQuorvel20 Class\nVersion = 1.0\n");
}

TEST_F(RegCommand, DeletesValuesAndKeys) {
  ASSERT_EQ(RunInProcess({"reg", "set", kSettingsKey, "stubPath", "/s/"}).exitCode, 0);
  ASSERT_EQ(RunInProcess({"reg", "set", kSettingsKey, "other", "o"}).exitCode, 0);
  EXPECT_EQ(RunInProcess({"reg", "delete", kSettingsKey, "stubPath"}).exitCode, 0);
  EXPECT_EQ(RunInProcess({"reg", "get", kSettingsKey, "stubPath"}).exitCode, kRegNotFound);
  EXPECT_EQ(RunInProcess({"reg", "get", kSettingsKey, "other"}).out, "o\n");

  EXPECT_EQ(RunInProcess({"reg", "delete", "HKCR\\CLSID\\{6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}"})
                .exitCode,
            0);
  EXPECT_EQ(RunInProcess({"reg", "list", kSettingsKey}).exitCode, kRegNotFound);
  EXPECT_EQ(RunInProcess({"reg", "list", "HKCR\\CLSID"}).out, "");
}

TEST_F(RegCommand, ExplainsFailuresOnTheErrorStream) {
  const Outcome missingKey = RunInProcess({"reg", "get", kSettingsKey, "stubPath"});
  EXPECT_EQ(missingKey.exitCode, kRegNotFound);
  EXPECT_EQ(missingKey.out, "");
  EXPECT_EQ(missingKey.err,
            std::string("quorvel reg: ") + kSettingsKey + ": the registry key does not exist\n");

  ASSERT_EQ(RunInProcess({"reg", "set", kSettingsKey, "x", "1"}).exitCode, 0);
  const Outcome missingValue = RunInProcess({"reg", "get", kSettingsKey});
  EXPECT_EQ(missingValue.exitCode, kRegNotFound);
  EXPECT_NE(missingValue.err.find("[@]: the registry value does not exist"), std::string::npos)
      << missingValue.err;

  const Outcome badRoot = RunInProcess({"reg", "set", "HKEY_NOWHERE\\x", "v", "d"});
  EXPECT_EQ(badRoot.exitCode, kRegInvalidArgument);
  EXPECT_NE(badRoot.err.find("not a valid registry key path"), std::string::npos);
  EXPECT_EQ(RunInProcess({"reg", "delete", "HKEY_CLASSES_ROOT"}).exitCode, kRegInvalidArgument);

  EXPECT_NE(RunInProcess({"reg", "set", kSettingsKey, "stubPath"}).exitCode, 0);
  EXPECT_NE(RunInProcess({"reg"}).exitCode, 0);
}

TEST_F(RegCommand, ReportsAHomeThatCannotBeUsed) {
  std::filesystem::create_directories(root_);
  const auto blocker = root_ / "file";
  std::ofstream(blocker) << "x";
  ::setenv("QUORVEL_HOME", (blocker / "home").c_str(), 1);
  const Outcome outcome = RunInProcess({"reg", "list", "HKLM"});
  EXPECT_EQ(outcome.exitCode, kRegStorageFailure);
  EXPECT_NE(outcome.err.find("cannot open the registry database"), std::string::npos);
}

TEST_F(RegCommand, AValueSetInOneProcessIsReadInTheNext) {
  const Outcome set = RunProcess({"reg", "set", kSettingsKey, "stubPath", "/srv/quorvel/stub/"});
  ASSERT_EQ(set.exitCode, 0);
  const Outcome got = RunProcess({"reg", "get", kSettingsKey, "stubPath"});
  EXPECT_EQ(got.exitCode, 0);
  EXPECT_EQ(got.out, "/srv/quorvel/stub/\n");
  EXPECT_EQ(RunProcess({"reg", "get", kSettingsKey, "missing"}).exitCode, kRegNotFound);
}

}  // namespace
}  // namespace quorvel::tools
