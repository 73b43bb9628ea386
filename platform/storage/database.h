// The home database: one SQLite file in the platform home (mode 0600, WAL) that
// holds everything the platform keeps per user. Its schema version is recorded
// in the table `schema_version`, one row per applied migration step.
#pragma once

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

  // The version of the newest migration step applied.
  std::error_code SchemaVersion(int& version);

  const std::filesystem::path& file() const { return file_; }

 private:
  explicit Database(std::filesystem::path file) : file_(std::move(file)) {}
  std::error_code Configure();
  std::error_code Migrate();
  std::error_code RunGuarded(const std::function<std::error_code()>& body, const char* begin,
                             const char* commit, const char* rollback);

  std::filesystem::path file_;
  sqlite::Connection connection_;
  std::recursive_mutex mutex_;
};

// The process's connection to the database in the platform home, opened on first
// use and shared by every caller. When QUORVEL_HOME names another home than the
// open one, the database there is opened instead; holders of the previous
// connection keep it until they let go.
std::error_code SharedDatabase(std::shared_ptr<Database>& database);

}  // namespace quorvel::platform

template <>
struct std::is_error_code_enum<quorvel::platform::DatabaseErrc> : std::true_type {};
