#include "platform/storage/sqlite.h"

#include <new>
#include <utility>

namespace quorvel::platform::sqlite {
namespace {

class SqliteCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "sqlite"; }
  std::string message(int condition) const override { return sqlite3_errstr(condition); }
};

}  // namespace

const std::error_category& Category() {
  static const SqliteCategory category;
  return category;
}

std::error_code MakeError(int resultCode) {
  return resultCode == SQLITE_OK ? std::error_code{} : std::error_code(resultCode, Category());
}

Connection::Connection(Connection&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}

Connection& Connection::operator=(Connection&& other) noexcept {
  if (this != &other) {
    sqlite3_close_v2(db_);
    db_ = std::exchange(other.db_, nullptr);
  }
  return *this;
}

Connection::~Connection() {
  sqlite3_close_v2(db_);
}

std::error_code Connection::Open(const std::filesystem::path& file, int flags) {
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    // SQLite hands out a handle even when opening fails; it must still be closed.
    sqlite3_close_v2(db);
    return MakeError(rc);
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_close_v2(db_);
  db_ = db;
  return {};
}

std::error_code Connection::Execute(const char* sql) {
  return MakeError(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr));
}

StatementCache::~StatementCache() {
  for (const auto& [sql, statement] : idle_) sqlite3_finalize(statement);
}

sqlite3_stmt* StatementCache::Take(std::string_view sql) {
  std::lock_guard lock(mutex_);
  const auto found = idle_.find(sql);
  if (found == idle_.end()) return nullptr;
  sqlite3_stmt* statement = found->second;
  idle_.erase(found);
  return statement;
}

void StatementCache::Give(sqlite3_stmt* statement) {
  if (statement == nullptr) return;
  // Resetting ends whatever read the statement still had open.
  sqlite3_reset(statement);
  sqlite3_clear_bindings(statement);
  const char* sql = sqlite3_sql(statement);
  std::unique_lock lock(mutex_);
  if (sql != nullptr && idle_.size() < kMaxIdle) {
    try {
      idle_.emplace(sql, statement);
      return;
    } catch (const std::bad_alloc&) {
      // Not keeping it costs a later compile, nothing else.
    }
  }
  lock.unlock();
  sqlite3_finalize(statement);
}

Statement::Statement(Statement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)), cache_(std::move(other.cache_)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    Release();
    statement_ = std::exchange(other.statement_, nullptr);
    cache_ = std::move(other.cache_);
  }
  return *this;
}

Statement::~Statement() {
  Release();
}

void Statement::Release() {
  if (statement_ == nullptr) return;
  if (const std::shared_ptr<StatementCache> cache = cache_.lock()) {
    cache->Give(statement_);
  } else {
    sqlite3_finalize(statement_);
  }
  statement_ = nullptr;
  cache_.reset();
}

std::error_code Statement::Prepare(const Connection& connection, std::string_view sql) {
  Release();
  return MakeError(sqlite3_prepare_v2(connection.get(), sql.data(), static_cast<int>(sql.size()),
                                      &statement_, nullptr));
}

std::error_code Statement::Prepare(const Connection& connection, std::string_view sql,
                                   const std::shared_ptr<StatementCache>& cache) {
  Release();
  if (cache) statement_ = cache->Take(sql);
  if (statement_ == nullptr) {
    const int rc = sqlite3_prepare_v3(connection.get(), sql.data(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &statement_, nullptr);
    if (rc != SQLITE_OK) return MakeError(rc);
  }
  cache_ = cache;
  return {};
}

std::error_code Statement::Bind(int index, std::string_view text) {
  return MakeError(sqlite3_bind_text64(statement_, index, text.data(), text.size(),
                                       SQLITE_TRANSIENT, SQLITE_UTF8));
}

std::error_code Statement::Bind(int index, std::int64_t number) {
  return MakeError(sqlite3_bind_int64(statement_, index, number));
}

std::error_code Statement::BindBlob(int index, std::span<const std::uint8_t> bytes) {
  // A zero-length blob is bound as such, not as NULL.
  static constexpr std::uint8_t kEmpty = 0;
  return MakeError(sqlite3_bind_blob64(statement_, index, bytes.empty() ? &kEmpty : bytes.data(),
                                       bytes.size(), SQLITE_TRANSIENT));
}

std::error_code Statement::Step(bool& hasRow) {
  const int rc = sqlite3_step(statement_);
  hasRow = rc == SQLITE_ROW;
  return rc == SQLITE_ROW || rc == SQLITE_DONE ? std::error_code{} : MakeError(rc);
}

std::error_code Statement::Run() {
  bool hasRow = false;
  return Step(hasRow);
}

void Statement::Reset() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

std::string Statement::ColumnText(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  const int length = sqlite3_column_bytes(statement_, column);
  return text == nullptr ? std::string() : std::string(text, static_cast<std::size_t>(length));
}

std::int64_t Statement::ColumnInt64(int column) const {
  return sqlite3_column_int64(statement_, column);
}

std::vector<std::uint8_t> Statement::ColumnBlob(int column) const {
  const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_, column));
  const int length = sqlite3_column_bytes(statement_, column);
  if (data == nullptr || length <= 0) return {};
  return std::vector<std::uint8_t>(data, data + length);
}

bool Statement::ColumnIsNull(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

}  // namespace quorvel::platform::sqlite
