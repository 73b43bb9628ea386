// A host killed with SIGKILL while it signs leaves the home's database whole
// and usable by the next process.
#include <signal.h>
#include <sqlite3.h>

#include <chrono>
#include <thread>

#include "tools/host_signing_fixture.h"

namespace quorvel::tools {
namespace {

std::string IntegrityCheck(const std::filesystem::path& database) {
  sqlite3* connection = nullptr;
  std::string report;
  if (sqlite3_open_v2(database.c_str(), &connection, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    report = "cannot open";
  } else if (sqlite3_exec(
                 connection, "PRAGMA integrity_check",
                 [](void* out, int, char** values, char**) {
                   *static_cast<std::string*>(out) += values[0] ? values[0] : "";
                   return 0;
                 },
                 &report, nullptr) != SQLITE_OK) {
    report = sqlite3_errmsg(connection);
  }
  sqlite3_close(connection);
  return report;
}

TEST_F(HostSigningTest, KillingTheHostWhileItSignsLeavesTheStoresWhole) {
  std::string requests = json{{"jsonrpc", "2.0"},
                              {"id", 0},
                              {"method", "create"},
                              {"params", {{"progid", "Quorvel.DrennicQuorvel2"}}}}
                             .dump() +
                         "\n";
  const std::vector<Call> calls = {Put("QVServerMode", 1), SetPlainText(std::string(2 << 20, 'x')),
                                   Invoke("QVAttachedSign", {"CN=Zhang San"}),
                                   SetPlainText(std::string(2 << 20, 'y')),
                                   Invoke("QVAttachedSign", {"CN=Zhang Wei"})};
  for (size_t i = 0; i < calls.size(); ++i) {
    json params = calls[i].second;
    params["object"] = 1;
    requests +=
        json{{"jsonrpc", "2.0"}, {"id", i + 1}, {"method", calls[i].first}, {"params", params}}
            .dump() +
        "\n";
  }
  const std::filesystem::path in = Write("requests.jsonl", requests);
  std::string before;
  ASSERT_EQ(Run({"store", "list"}, "", before), 0);

  int killed = 0;
  for (int round = 0; round < 6; ++round) {
    const pid_t host = Spawn({"host", "--stdio"}, in, root_ / "answers.jsonl");
    ASSERT_GT(host, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(10 + 25 * round));
    ::kill(host, SIGKILL);
    int status = 0;
    ::waitpid(host, &status, 0);
    if (WIFSIGNALED(status)) ++killed;
    EXPECT_EQ(IntegrityCheck(root_ / "home" / "quorvel.db"), "ok") << "round " << round;
  }
  EXPECT_GT(killed, 0);

  std::string after;
  ASSERT_EQ(Run({"store", "list"}, "", after), 0);
  EXPECT_EQ(after, before);
  const std::vector<json> r = Session(
      {Put("QVServerMode", 1), SetPlainText("after"), Invoke("QVAttachedSign", {"CN=Zhang San"})});
  EXPECT_EQ(Status(r[2]), 0) << r[2];
}

}  // namespace
}  // namespace quorvel::tools
