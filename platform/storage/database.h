// The home database: one SQLite file in the platform home (mode 0600, WAL) that
// holds everything the platform keeps per user. Its schema version is recorded
// in the table `schema_version`, one row per applied migration step.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>

#include "platform/storage/sqlite.h"

namespace quorvel::platform {

inline constexpr std::string_view kDatabaseFileName = "quorvel.db";

enum class DatabaseErrc {
  kSchemaTooNew = 1,  // written by a newer build that knows more migration steps
  kWalUnavailable,    // the file system cannot hold a WAL-mode database
  kOutOfMemory,
};

const std::error_category& DatabaseCategory();
std::error_code make_error_code(DatabaseErrc error);

// What one connection has seen of the database's changes. Two stamps of the
// same connection are equal only when nothing was committed in between, by
// this connection or by any other, in this process or another one; stamps of
// different connections (another home, a reopened file) never are.
struct ChangeStamp {
  uint64_t connection = 0;  // unique to each opened database in the process
  int64_t dataVersion = 0;  // moves on each commit made by another connection
  int64_t ownChanges = 0;   // moves on each change made through this one
  bool operator==(const ChangeStamp&) const = default;
};

class Database {
 public:
  // How long a statement waits for another process's write lock before failing.
  static constexpr int kBusyTimeoutMilliseconds = 10000;

  // Opens `file`, creating it with mode 0600, switches it to WAL and brings its
  // schema up to date.
  static std::error_code Open(const std::filesystem::path& file,
                              std::unique_ptr<Database>& database);

  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Runs `body` in one write transaction: committed when it returns no error, rolled
  // back otherwise. Called from inside another transaction it becomes a savepoint,
  // so several changes can be made atomic together. One thread at a time.
  std::error_code Transact(const std::function<std::error_code()>& body);

  // Runs `body` in one write transaction for records that nothing reads back
  // through a stamp (a log): its changes leave the stamp as it was, so what
  // was read before stays valid, and its commit does not wait for the disk.
  // The records survive this process's end at once and reach the disk with
  // the next ordinary commit or checkpoint; a crash of the machine before
  // then may lose them, never the database's consistency.
  std::error_code Append(const std::function<std::error_code()>& body);

  // Runs `body` in one read transaction, so that all its queries see one snapshot.
  std::error_code Read(const std::function<std::error_code()>& body);

  std::error_code Prepare(std::string_view sql, sqlite::Statement& statement);
  // Prepares `sql` and binds `parameters` to ?1, ?2, ... (see Statement::BindAll);
  // reports the first failure of either.
  template <typename... Parameters>
  std::error_code Prepare(std::string_view sql, sqlite::Statement& statement,
                          const Parameters&... parameters) {
    if (const std::error_code ec = Prepare(sql, statement)) return ec;
    return statement.BindAll(parameters...);
  }

  // The stamp of the database as it is now, or, inside Read or Transact, as
  // that transaction sees it. Whatever was read at one stamp still holds
  // while a later call gives the same one.
  std::error_code Stamp(ChangeStamp& stamp);

  // The version of the newest migration step applied.
  std::error_code SchemaVersion(int& version);

  const std::filesystem::path& file() const { return file_; }

 private:
  explicit Database(std::filesystem::path file);
  std::error_code ConfigureWhenFree();
  std::error_code Configure();
  std::error_code Migrate();
  // Runs one statement that produces no rows, through the statement cache.
  std::error_code RunOne(const char* sql);
  std::error_code RunGuarded(const std::function<std::error_code()>& body, const char* begin,
                             const char* commit, const char* rollback);

  std::filesystem::path file_;
  sqlite::Connection connection_;
  // Destroyed before the connection, whose statements it finalizes.
  std::shared_ptr<sqlite::StatementCache> statements_;
  std::recursive_mutex mutex_;
  uint64_t connectionSerial_ = 0;
  // Moves at the start and the end of each write transaction or savepoint.
  int64_t writes_ = 0;
  // Row changes made by Append, which the stamp leaves out.
  int64_t appended_ = 0;
};

// The process's connection to the database in the platform home, opened on first
// use and shared by every caller. When QUORVEL_HOME names another home than the
// open one, the database there is opened instead; holders of the previous
// connection keep it until they let go.
std::error_code SharedDatabase(std::shared_ptr<Database>& database);

}  // namespace quorvel::platform

template <>
struct std::is_error_code_enum<quorvel::platform::DatabaseErrc> : std::true_type {};
