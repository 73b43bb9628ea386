// Transactions of the stores' and key containers' tables that answer in the
// platform's values. Internal to the stores room.
#pragma once

#include <cstdint>
#include <system_error>

#include "platform/errors/platform_errors.h"
#include "platform/storage/database.h"

namespace quorvel::platform::stores {

// Database failures carry no platform meaning of their own.
inline Status StorageError(const std::error_code& ec) {
  if (!ec) return error::kOk;
  if (ec == DatabaseErrc::kOutOfMemory) return error::kOutOfMemory;
  return error::kStorageFailure;
}

// Runs `body` in a write transaction of `database` and gives back the platform
// value it produced, or the database's own failure. Any value but kOk rolls
// the transaction back.
template <typename Body>
Status TransactPlatform(Database& database, Body body) {
  Status status = error::kOk;
  const std::error_code ec = database.Transact([&]() -> std::error_code {
    status = body();
    return status == error::kOk ? std::error_code{}
                                : std::make_error_code(std::errc::operation_canceled);
  });
  if (status != error::kOk) return status;
  return StorageError(ec);
}

// The same in a read transaction.
template <typename Body>
Status ReadPlatform(Database& database, Body body) {
  Status status = error::kOk;
  const std::error_code ec = database.Read([&]() -> std::error_code {
    status = body();
    return {};
  });
  if (status != error::kOk) return status;
  return StorageError(ec);
}

}  // namespace quorvel::platform::stores
