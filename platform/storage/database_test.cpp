#include "platform/storage/database.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/storage/home.h"
#include "platform/storage/migrations.h"
#include "tests/temporary_home.h"

namespace quorvel::platform {
namespace {

mode_t ModeOf(const std::filesystem::path& path) {
  struct stat status {};
  EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

std::string QueryText(Database& database, const char* sql) {
  sqlite::Statement query;
  EXPECT_FALSE(database.Prepare(sql, query)) << sql;
  bool hasRow = false;
  EXPECT_FALSE(query.Step(hasRow));
  return hasRow ? query.ColumnText(0) : std::string("(no row)");
}

std::error_code Execute(Database& database, const char* sql) {
  sqlite::Statement statement;
  if (const std::error_code ec = database.Prepare(sql, statement)) return ec;
  return statement.Run();
}

class HomeDatabase : public TemporaryHome {
 protected:
  std::filesystem::path File() const { return home_ / kDatabaseFileName; }

  std::unique_ptr<Database> OpenFile() {
    std::filesystem::create_directories(home_);
    std::unique_ptr<Database> database;
    EXPECT_FALSE(Database::Open(File(), database));
    return database;
  }
};

TEST_F(HomeDatabase, IsCreatedPrivateInWalModeAtTheLatestSchemaVersion) {
  std::shared_ptr<Database> database;
  ASSERT_FALSE(SharedDatabase(database));
  EXPECT_EQ(database->file(), File());
  EXPECT_EQ(ModeOf(home_), 0700u);
  EXPECT_EQ(ModeOf(File()), 0600u);
  EXPECT_EQ(QueryText(*database, "PRAGMA journal_mode"), "wal");

  int version = 0;
  ASSERT_FALSE(database->SchemaVersion(version));
  EXPECT_EQ(version, Migrations().back().version);
  EXPECT_EQ(QueryText(*database, "SELECT COUNT(*) FROM schema_version"),
            std::to_string(Migrations().size()));
  EXPECT_EQ(QueryText(*database, "PRAGMA user_version"), std::to_string(version));

  ASSERT_FALSE(database->Transact([&] { return Execute(*database, "CREATE TABLE t (x)"); }));
  EXPECT_TRUE(std::filesystem::exists(File().string() + "-wal"));
  EXPECT_EQ(ModeOf(File().string() + "-wal"), 0600u);
}

TEST_F(HomeDatabase, MigrationStepsAreNumberedFromOneWithoutGaps) {
  int expected = 1;
  for (const Migration& step : Migrations()) EXPECT_EQ(step.version, expected++);
}

TEST_F(HomeDatabase, ReopeningAppliesNoStepTwice) {
  {
    auto database = OpenFile();
    ASSERT_TRUE(database);
  }
  auto database = OpenFile();
  ASSERT_TRUE(database);
  EXPECT_EQ(QueryText(*database, "SELECT COUNT(*) FROM schema_version"),
            std::to_string(Migrations().size()));
}

TEST_F(HomeDatabase, RefusesADatabaseFromANewerBuild) {
  {
    auto database = OpenFile();
    ASSERT_TRUE(database);
    ASSERT_FALSE(database->Transact([&] {
      return Execute(*database,
                     "INSERT INTO schema_version (version, description) VALUES (9999, 'future')");
    }));
  }
  std::unique_ptr<Database> database;
  EXPECT_EQ(Database::Open(File(), database), DatabaseErrc::kSchemaTooNew);
  EXPECT_FALSE(database);
}

TEST_F(HomeDatabase, KeepsOnlyTheChangesOfTransactionsThatSucceed) {
  auto database = OpenFile();
  ASSERT_TRUE(database);
  ASSERT_FALSE(database->Transact([&] { return Execute(*database, "CREATE TABLE t (x)"); }));

  const std::error_code failure = std::make_error_code(std::errc::invalid_argument);
  EXPECT_EQ(database->Transact([&]() -> std::error_code {
    if (const std::error_code ec = Execute(*database, "INSERT INTO t VALUES (1)")) return ec;
    return failure;
  }),
            failure);
  EXPECT_EQ(QueryText(*database, "SELECT COUNT(*) FROM t"), "0");

  // A failing inner transaction undoes only its own changes.
  ASSERT_FALSE(database->Transact([&]() -> std::error_code {
    if (const std::error_code ec = Execute(*database, "INSERT INTO t VALUES (2)")) return ec;
    EXPECT_EQ(database->Transact([&]() -> std::error_code {
      if (const std::error_code ec = Execute(*database, "INSERT INTO t VALUES (3)")) return ec;
      return failure;
    }),
              failure);
    return {};
  }));
  EXPECT_EQ(QueryText(*database, "SELECT group_concat(x) FROM t"), "2");
}

TEST_F(HomeDatabase, StampMovesWithEachChangeByThisOrAnotherConnectionAndOnlyThen) {
  auto database = OpenFile();
  auto other = OpenFile();
  ASSERT_TRUE(database && other);
  ASSERT_FALSE(database->Transact([&] { return Execute(*database, "CREATE TABLE t (x)"); }));
  const std::error_code failure = std::make_error_code(std::errc::invalid_argument);
  struct Case {
    const char* what;
    std::function<void()> change;
    bool moves;
  };
  const Case cases[] = {
      {"nothing", [] {}, false},
      {"a read", [&] { QueryText(*database, "SELECT COUNT(*) FROM t"); }, false},
      {"a read by the other connection", [&] { QueryText(*other, "SELECT COUNT(*) FROM t"); },
       false},
      {"a commit by this connection",
       [&] {
         EXPECT_FALSE(
             database->Transact([&] { return Execute(*database, "INSERT INTO t VALUES (1)"); }));
       },
       true},
      {"a rolled back transaction",
       [&] {
         database->Transact([&]() -> std::error_code {
           EXPECT_FALSE(Execute(*database, "INSERT INTO t VALUES (2)"));
           return failure;
         });
       },
       true},
      {"a commit by the other connection",
       [&] { EXPECT_FALSE(other->Transact([&] { return Execute(*other, "DELETE FROM t"); })); },
       true},
      {"an append by this connection",
       [&] {
         EXPECT_FALSE(
             database->Append([&] { return Execute(*database, "INSERT INTO t VALUES (3)"); }));
       },
       false},
      {"an append by the other connection",
       [&] {
         EXPECT_FALSE(other->Append([&] { return Execute(*other, "INSERT INTO t VALUES (4)"); }));
       },
       true},
      {"a commit after an append",
       [&] {
         EXPECT_FALSE(
             database->Transact([&] { return Execute(*database, "INSERT INTO t VALUES (5)"); }));
       },
       true},
  };
  for (const Case& c : cases) {
    ChangeStamp before;
    ASSERT_FALSE(database->Stamp(before));
    c.change();
    ChangeStamp after;
    ASSERT_FALSE(database->Stamp(after));
    EXPECT_EQ(before != after, c.moves) << c.what;
  }
  EXPECT_EQ(QueryText(*other, "SELECT group_concat(x) FROM t"), "3,4,5")
      << "appended rows are committed like any others";
  ChangeStamp mine;
  ChangeStamp theirs;
  ASSERT_FALSE(database->Stamp(mine));
  ASSERT_FALSE(other->Stamp(theirs));
  EXPECT_NE(mine, theirs) << "connections share no stamps";
}

TEST_F(HomeDatabase, StatementsPreparedAgainStartFreshAndNeverShareState) {
  auto database = OpenFile();
  ASSERT_TRUE(database);
  ASSERT_FALSE(database->Transact([&] { return Execute(*database, "CREATE TABLE t (x)"); }));
  ASSERT_FALSE(
      database->Transact([&] { return Execute(*database, "INSERT INTO t VALUES (1), (2)"); }));
  {
    // Left in the middle of its rows and with a binding.
    sqlite::Statement query;
    ASSERT_FALSE(database->Prepare("SELECT x, ?1 FROM t ORDER BY x", query, std::int64_t{7}));
    bool hasRow = false;
    ASSERT_FALSE(query.Step(hasRow));
    ASSERT_TRUE(hasRow);
  }
  sqlite::Statement again;
  sqlite::Statement other;
  ASSERT_FALSE(database->Prepare("SELECT x, ?1 FROM t ORDER BY x", again));
  ASSERT_FALSE(database->Prepare("SELECT x, ?1 FROM t ORDER BY x", other, std::int64_t{9}));
  bool hasRow = false;
  ASSERT_FALSE(again.Step(hasRow));
  ASSERT_TRUE(hasRow);
  EXPECT_EQ(again.ColumnInt64(0), 1) << "starts from the first row";
  EXPECT_TRUE(again.ColumnIsNull(1)) << "without the earlier binding";
  ASSERT_FALSE(other.Step(hasRow));
  EXPECT_EQ(other.ColumnInt64(1), 9);
  // A statement may outlive its database.
  database.reset();
}

TEST_F(HomeDatabase, ReadersAndWritersOfAnotherConnectionWaitOrProceed) {
  auto importer = OpenFile();
  auto reader = OpenFile();
  auto writer = OpenFile();
  ASSERT_TRUE(importer && reader && writer);
  ASSERT_FALSE(importer->Transact([&] { return Execute(*importer, "CREATE TABLE t (x)"); }));

  std::promise<void> started;
  std::promise<void> release;
  std::thread import([&] {
    EXPECT_FALSE(importer->Transact([&]() -> std::error_code {
      if (const std::error_code ec = Execute(*importer, "INSERT INTO t VALUES (1)")) return ec;
      started.set_value();
      release.get_future().wait();
      return {};
    }));
  });
  started.get_future().wait();

  // While the import holds the write lock, a reader sees the last committed state...
  EXPECT_EQ(QueryText(*reader, "SELECT COUNT(*) FROM t"), "0");
  // ...and a second writer waits for the lock instead of failing.
  auto second = std::async(std::launch::async, [&] {
    return writer->Transact([&] { return Execute(*writer, "INSERT INTO t VALUES (2)"); });
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  release.set_value();
  import.join();
  EXPECT_FALSE(second.get());
  EXPECT_EQ(QueryText(*reader, "SELECT group_concat(x) FROM (SELECT x FROM t ORDER BY x)"), "1,2");
}

TEST_F(HomeDatabase, PrepareWithParametersBindsThemInOrder) {
  auto database = OpenFile();
  ASSERT_TRUE(database);
  const std::vector<std::uint8_t> bytes = {1, 2, 3};
  sqlite::Statement statement;
  ASSERT_FALSE(database->Prepare("SELECT ?1, ?2, hex(?3)", statement, std::int64_t{7},
                                 std::string_view("seven"), bytes));
  bool hasRow = false;
  ASSERT_FALSE(statement.Step(hasRow));
  ASSERT_TRUE(hasRow);
  EXPECT_EQ(statement.ColumnInt64(0), 7);
  EXPECT_EQ(statement.ColumnText(1), "seven");
  EXPECT_EQ(statement.ColumnText(2), "010203");
}

TEST_F(HomeDatabase, PrepareWithParametersReportsAFailureToPrepareOrToBind) {
  auto database = OpenFile();
  ASSERT_TRUE(database);
  sqlite::Statement statement;
  EXPECT_EQ(database->Prepare("SELECT FROM nowhere ?1", statement, std::int64_t{1}),
            sqlite::MakeError(SQLITE_ERROR));
  EXPECT_EQ(database->Prepare("SELECT ?1", statement, std::int64_t{1}, std::int64_t{2}),
            sqlite::MakeError(SQLITE_RANGE));
}

TEST_F(HomeDatabase, TheSharedConnectionFollowsTheHome) {
  std::shared_ptr<Database> first;
  std::shared_ptr<Database> again;
  ASSERT_FALSE(SharedDatabase(first));
  ASSERT_FALSE(SharedDatabase(again));
  EXPECT_EQ(first, again);

  ::setenv("QUORVEL_HOME", (root_ / "other").c_str(), 1);
  std::shared_ptr<Database> other;
  ASSERT_FALSE(SharedDatabase(other));
  EXPECT_NE(other, first);
  EXPECT_EQ(other->file(), root_ / "other" / kDatabaseFileName);
}

TEST_F(HomeDatabase, ASecondConnectionKeepsTheFirstOnesLocksSoOtherProcessesLeaveItsWal) {
  std::unique_ptr<Database> first = OpenFile();
  ASSERT_FALSE(Execute(*first, "CREATE TABLE kept (value TEXT)"));
  std::unique_ptr<Database> second = OpenFile();  // the process opens the file once more
  ASSERT_TRUE(second);
  // Another process writes and closes: it must see this process still there,
  // and so leave the WAL that this process's connections use.
  const std::string other = "python3 -c \"import sqlite3; c = sqlite3.connect('" + File().string() +
                            "'); c.execute('INSERT INTO kept VALUES (1)'); c.commit(); c.close()\"";
  ASSERT_EQ(std::system(other.c_str()), 0) << other;
  EXPECT_TRUE(std::filesystem::exists(File().string() + "-wal"));
  ASSERT_FALSE(Execute(*first, "INSERT INTO kept VALUES (2)"));
  first.reset();
  second.reset();
  std::unique_ptr<Database> reopened = OpenFile();
  EXPECT_EQ(QueryText(*reopened, "SELECT COUNT(*) FROM kept"), "2");
}

}  // namespace
}  // namespace quorvel::platform
