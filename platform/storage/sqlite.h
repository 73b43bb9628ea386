// Owning wrappers of SQLite's connection and statement handles, and the error
// category through which SQLite result codes travel as std::error_code.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <vector>

namespace quorvel::platform::sqlite {

const std::error_category& Category();
std::error_code MakeError(int resultCode);

class Connection {
 public:
  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  Connection(Connection&& other) noexcept;
  Connection& operator=(Connection&& other) noexcept;
  ~Connection();

  // Opens `file` with SQLite's open flags; on failure the connection stays closed.
  std::error_code Open(const std::filesystem::path& file, int flags);
  // Runs one or more statements that produce no rows.
  std::error_code Execute(const char* sql);
  sqlite3* get() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

// The prepared statements of one connection that their holders let go, kept
// for the next holder of the same SQL so that a statement run again is not
// compiled again. At most kMaxIdle are kept; the cache may be used from any
// thread, and it finalizes what it keeps when it goes.
class StatementCache {
 public:
  static constexpr std::size_t kMaxIdle = 64;

  StatementCache() = default;
  StatementCache(const StatementCache&) = delete;
  StatementCache& operator=(const StatementCache&) = delete;
  ~StatementCache();

  // A kept statement of exactly `sql`, reset and without bindings; null when none.
  sqlite3_stmt* Take(std::string_view sql);
  // Keeps `statement` after resetting it, or finalizes it when the cache is full.
  void Give(sqlite3_stmt* statement);

 private:
  std::mutex mutex_;
  std::multimap<std::string, sqlite3_stmt*, std::less<>> idle_;
};

class Statement {
 public:
  Statement() = default;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&& other) noexcept;
  ~Statement();

  std::error_code Prepare(const Connection& connection, std::string_view sql);
  // The same, taking the statement from `cache` when it holds one, and handing
  // it back there instead of finalizing it.
  std::error_code Prepare(const Connection& connection, std::string_view sql,
                          const std::shared_ptr<StatementCache>& cache);

  // Parameters are numbered from 1, as in SQLite.
  std::error_code Bind(int index, std::string_view text);
  std::error_code Bind(int index, std::int64_t number);
  std::error_code BindBlob(int index, std::span<const std::uint8_t> bytes);
  // Binds `values` to parameters 1, 2, ... in order and reports the first failure,
  // binding nothing after it. Each value is a std::int64_t, text (anything that
  // converts to std::string_view) or bytes (a span of std::uint8_t, bound as a blob).
  template <typename... Values>
  std::error_code BindAll(const Values&... values);

  // Advances to the next row; `hasRow` tells whether there is one.
  std::error_code Step(bool& hasRow);
  // Runs a statement that produces no rows.
  std::error_code Run();
  // Makes the statement ready to run again with new parameters.
  void Reset();
  // Steps through the rows and calls `row` for each, until there are no more, a
  // step fails (its error is returned) or `row`, when it returns bool, returns
  // false. Stopping early by `row` is not an error.
  template <typename Row>
  std::error_code ForEachRow(Row&& row);

  std::string ColumnText(int column) const;
  std::int64_t ColumnInt64(int column) const;
  bool ColumnIsNull(int column) const;
  std::vector<std::uint8_t> ColumnBlob(int column) const;

 private:
  template <typename Value>
  std::error_code BindOne(int index, const Value& value);
  // Hands the statement back to its cache, or finalizes it.
  void Release();

  sqlite3_stmt* statement_ = nullptr;
  std::weak_ptr<StatementCache> cache_;
};

template <typename Value>
std::error_code Statement::BindOne(int index, const Value& value) {
  if constexpr (std::is_same_v<Value, std::int64_t>) {
    return Bind(index, value);
  } else if constexpr (std::is_convertible_v<const Value&, std::span<const std::uint8_t>>) {
    return BindBlob(index, value);
  } else {
    static_assert(std::is_convertible_v<const Value&, std::string_view>,
                  "parameters are std::int64_t, text or a span of bytes");
    return Bind(index, std::string_view(value));
  }
}

template <typename... Values>
std::error_code Statement::BindAll(const Values&... values) {
  std::error_code ec;
  [[maybe_unused]] int position = 0;
  // Left to right; the && stops at the first failure.
  static_cast<void>(((ec = BindOne(++position, values), !ec) && ...));
  return ec;
}

template <typename Row>
std::error_code Statement::ForEachRow(Row&& row) {
  while (true) {
    bool hasRow = false;
    if (const std::error_code ec = Step(hasRow)) return ec;
    if (!hasRow) return {};
    if constexpr (std::is_void_v<decltype(row())>) {
      row();
    } else {
      if (!row()) return {};
    }
  }
}

}  // namespace quorvel::platform::sqlite
