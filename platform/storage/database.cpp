#include "platform/storage/database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "platform/storage/home.h"
#include "platform/storage/migrations.h"

namespace quorvel::platform {
namespace {

constexpr mode_t kPrivateFile = 0600;

class DatabaseCategoryImpl : public std::error_category {
 public:
  const char* name() const noexcept override { return "quorvel.database"; }
  std::string message(int condition) const override {
    switch (static_cast<DatabaseErrc>(condition)) {
      case DatabaseErrc::kSchemaTooNew:
        return "the database was written by a newer version of quorvel";
      case DatabaseErrc::kWalUnavailable:
        return "the database cannot be switched to write-ahead logging";
      case DatabaseErrc::kOutOfMemory:
        return "out of memory";
    }
    return "unknown database error";
  }
};

// Creates the file owner-only before SQLite sees it; SQLite gives its WAL and
// shared-memory files the same mode as the database file.
// Makes sure `file` is a private regular file. A file that exists is never
// opened here: closing any descriptor of a file drops every POSIX lock this
// process holds on it, SQLite's among them, and another process would then
// take the process's connections for gone (and delete the WAL under them).
std::error_code MakePrivateFile(const std::filesystem::path& file) {
  struct stat status {};
  if (::lstat(file.c_str(), &status) == 0) {
    if (!S_ISREG(status.st_mode)) return std::make_error_code(std::errc::not_supported);
    if ((status.st_mode & 07777) != kPrivateFile && ::chmod(file.c_str(), kPrivateFile) != 0) {
      return {errno, std::generic_category()};
    }
    return {};
  }
  if (errno != ENOENT) return {errno, std::generic_category()};
  // A new file: no connection can hold a lock on it yet.
  const int fd =
      ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, kPrivateFile);
  if (fd < 0) {
    if (errno == EEXIST) return MakePrivateFile(file);  // another process made it first
    return {errno, std::generic_category()};
  }
  std::error_code ec;
  if (::fchmod(fd, kPrivateFile) != 0) ec = {errno, std::generic_category()};
  ::close(fd);
  return ec;
}

// Creation and the first connection of a file happen one thread at a time, so
// that no thread's new connection meets another's creating descriptor.
std::mutex& OpeningMutex() {
  static std::mutex mutex;
  return mutex;
}

std::atomic<uint64_t> openedConnections{0};

int LatestKnownVersion() {
  const auto steps = Migrations();
  return steps.empty() ? 0 : steps.back().version;
}

}  // namespace

const std::error_category& DatabaseCategory() {
  static const DatabaseCategoryImpl category;
  return category;
}

std::error_code make_error_code(DatabaseErrc error) {
  return {static_cast<int>(error), DatabaseCategory()};
}

Database::Database(std::filesystem::path file)
    : file_(std::move(file)),
      statements_(std::make_shared<sqlite::StatementCache>()),
      connectionSerial_(++openedConnections) {}

std::error_code Database::Open(const std::filesystem::path& file,
                               std::unique_ptr<Database>& database) {
  std::unique_ptr<Database> opened;
  try {
    opened.reset(new Database(file));
  } catch (const std::bad_alloc&) {
    return DatabaseErrc::kOutOfMemory;
  }
  constexpr int kFlags =
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW;
  {
    const std::lock_guard lock(OpeningMutex());
    if (const std::error_code ec = MakePrivateFile(file)) return ec;
    if (const std::error_code ec = opened->connection_.Open(file, kFlags)) return ec;
  }
  if (const std::error_code ec = opened->ConfigureWhenFree()) return ec;
  if (const std::error_code ec = opened->Migrate()) return ec;
  database = std::move(opened);
  return {};
}

// Switching the journal to write-ahead logging needs the file to itself, and
// SQLite answers "locked" at once, without waiting, while another process opens
// or switches a new file; every step is safe to repeat.
std::error_code Database::ConfigureWhenFree() {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMilliseconds);
  for (;;) {
    const std::error_code ec = Configure();
    const bool locked = ec.category() == sqlite::Category() && (ec.value() & 0xff) == SQLITE_BUSY;
    if (!locked || std::chrono::steady_clock::now() >= deadline) return ec;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::error_code Database::Configure() {
  sqlite3_busy_timeout(connection_.get(), kBusyTimeoutMilliseconds);
  if (const std::error_code ec = connection_.Execute("PRAGMA foreign_keys = ON")) return ec;
  // Each ordinary commit waits for the disk; Append relaxes this for its own.
  if (const std::error_code ec = connection_.Execute("PRAGMA synchronous = FULL")) return ec;
  sqlite::Statement journal;
  if (const std::error_code ec = Prepare("PRAGMA journal_mode = WAL", journal)) return ec;
  bool hasRow = false;
  if (const std::error_code ec = journal.Step(hasRow)) return ec;
  if (!hasRow || journal.ColumnText(0) != "wal") return DatabaseErrc::kWalUnavailable;
  return {};
}

std::error_code Database::Migrate() {
  int current = 0;
  // Most opens find the schema current; they check without taking the write lock,
  // so that opening never waits for another process's import.
  if (const std::error_code ec = SchemaVersion(current)) return ec;
  if (current > LatestKnownVersion()) return DatabaseErrc::kSchemaTooNew;
  if (current == LatestKnownVersion()) return {};

  return Transact([&]() -> std::error_code {
    if (const std::error_code ec = connection_.Execute(
            "CREATE TABLE IF NOT EXISTS schema_version ("
            " version INTEGER PRIMARY KEY,"
            " description TEXT NOT NULL,"
            " applied_at TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ', 'now')))")) {
      return ec;
    }
    // Another process may have migrated between the check and the lock.
    if (const std::error_code ec = SchemaVersion(current)) return ec;
    if (current > LatestKnownVersion()) return DatabaseErrc::kSchemaTooNew;
    for (const Migration& step : Migrations()) {
      if (step.version <= current) continue;
      if (const std::error_code ec = connection_.Execute(step.sql)) return ec;
      sqlite::Statement record;
      if (const std::error_code ec = Prepare(
              "INSERT INTO schema_version (version, description) VALUES (?1, ?2)", record)) {
        return ec;
      }
      if (const std::error_code ec = record.Bind(1, std::int64_t{step.version})) return ec;
      if (const std::error_code ec = record.Bind(2, step.description)) return ec;
      if (const std::error_code ec = record.Run()) return ec;
    }
    const std::string userVersion = "PRAGMA user_version = " + std::to_string(LatestKnownVersion());
    return connection_.Execute(userVersion.c_str());
  });
}

std::error_code Database::SchemaVersion(int& version) {
  return Read([&]() -> std::error_code {
    version = 0;
    sqlite::Statement exists;
    if (const std::error_code ec =
            Prepare("SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = 'schema_version'",
                    exists)) {
      return ec;
    }
    bool hasTable = false;
    if (const std::error_code ec = exists.Step(hasTable)) return ec;
    if (!hasTable) return {};

    sqlite::Statement newest;
    if (const std::error_code ec =
            Prepare("SELECT COALESCE(MAX(version), 0) FROM schema_version", newest)) {
      return ec;
    }
    bool hasRow = false;
    if (const std::error_code ec = newest.Step(hasRow)) return ec;
    if (hasRow) version = static_cast<int>(newest.ColumnInt64(0));
    return {};
  });
}

std::error_code Database::Stamp(ChangeStamp& stamp) {
  std::lock_guard lock(mutex_);
  sqlite::Statement version;
  if (const std::error_code ec = Prepare("PRAGMA data_version", version)) return ec;
  bool hasRow = false;
  if (const std::error_code ec = version.Step(hasRow)) return ec;
  if (!hasRow) return sqlite::MakeError(SQLITE_ERROR);
  stamp.connection = connectionSerial_;
  stamp.dataVersion = version.ColumnInt64(0);
  // Row changes count statements outside a transaction of ours as well.
  stamp.ownChanges = writes_ + sqlite3_total_changes64(connection_.get()) - appended_;
  return {};
}

std::error_code Database::Prepare(std::string_view sql, sqlite::Statement& statement) {
  return statement.Prepare(connection_, sql, statements_);
}

std::error_code Database::Transact(const std::function<std::error_code()>& body) {
  std::lock_guard lock(mutex_);
  // Counted on both sides, so that nothing read inside the transaction, which a
  // rollback may undo, carries the stamp of what follows it.
  ++writes_;
  const std::error_code ec = sqlite3_get_autocommit(connection_.get()) != 0
                                 ? RunGuarded(body, "BEGIN IMMEDIATE", "COMMIT", "ROLLBACK")
                                 : RunGuarded(body, "SAVEPOINT nested", "RELEASE nested",
                                              "ROLLBACK TO nested; RELEASE nested");
  ++writes_;
  return ec;
}

std::error_code Database::Append(const std::function<std::error_code()>& body) {
  std::lock_guard lock(mutex_);
  // Inside another transaction the records share its fate and its stamp.
  if (sqlite3_get_autocommit(connection_.get()) == 0) return Transact(body);
  if (const std::error_code ec = RunOne("PRAGMA synchronous = NORMAL")) return ec;
  // Ordinary commits wait for the disk again on every way out.
  struct Synchronous {
    Database& database;
    bool restored = false;
    std::error_code Restore() {
      restored = true;
      return database.RunOne("PRAGMA synchronous = FULL");
    }
    ~Synchronous() {
      if (!restored) database.RunOne("PRAGMA synchronous = FULL");
    }
  } synchronous{*this};
  const int64_t before = sqlite3_total_changes64(connection_.get());
  const std::error_code ec = RunGuarded(body, "BEGIN IMMEDIATE", "COMMIT", "ROLLBACK");
  appended_ += sqlite3_total_changes64(connection_.get()) - before;
  const std::error_code restored = synchronous.Restore();
  return ec ? ec : restored;
}

std::error_code Database::Read(const std::function<std::error_code()>& body) {
  std::lock_guard lock(mutex_);
  if (sqlite3_get_autocommit(connection_.get()) == 0) return body();
  return RunGuarded(body, "BEGIN", "COMMIT", "ROLLBACK");
}

std::error_code Database::RunGuarded(const std::function<std::error_code()>& body,
                                     const char* begin, const char* commit, const char* rollback) {
  if (const std::error_code ec = RunOne(begin)) return ec;
  std::error_code ec;
  try {
    ec = body();
  } catch (const std::bad_alloc&) {
    ec = DatabaseErrc::kOutOfMemory;
  }
  if (!ec) ec = RunOne(commit);
  if (ec) connection_.Execute(rollback);
  return ec;
}

std::error_code Database::RunOne(const char* sql) {
  // Transactions begin and end on every call; their statements are compiled once.
  sqlite::Statement statement;
  if (const std::error_code ec = Prepare(sql, statement)) return ec;
  return statement.Run();
}

std::error_code SharedDatabase(std::shared_ptr<Database>& database) {
  static std::mutex mutex;
  static std::shared_ptr<Database> shared;

  std::filesystem::path home;
  if (const std::error_code ec = ResolveHome(home)) return ec;
  const std::filesystem::path file = home / kDatabaseFileName;

  std::lock_guard lock(mutex);
  if (!shared || shared->file() != file) {
    if (const std::error_code ec = EnsureHome(home)) return ec;
    std::unique_ptr<Database> opened;
    if (const std::error_code ec = Database::Open(file, opened)) return ec;
    shared = std::move(opened);
  }
  database = shared;
  return {};
}

}  // namespace quorvel::platform
