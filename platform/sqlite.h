// Owning wrappers of SQLite's connection and statement handles, and the error
// category through which SQLite result codes travel as std::error_code.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
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

class Statement {
 public:
  Statement() = default;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&& other) noexcept;
  ~Statement();

  std::error_code Prepare(const Connection& connection, std::string_view sql);

  // Parameters are numbered from 1, as in SQLite.
  std::error_code Bind(int index, std::string_view text);
  std::error_code Bind(int index, std::int64_t number);
  std::error_code BindBlob(int index, std::span<const std::uint8_t> bytes);

  // Advances to the next row; `hasRow` tells whether there is one.
  std::error_code Step(bool& hasRow);
  // Runs a statement that produces no rows.
  std::error_code Run();
  // Makes the statement ready to run again with new parameters.
  void Reset();

  std::string ColumnText(int column) const;
  std::int64_t ColumnInt64(int column) const;
  bool ColumnIsNull(int column) const;
  std::vector<std::uint8_t> ColumnBlob(int column) const;

 private:
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace quorvel::platform::sqlite
