#include "platform/keyuse/signing_history.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <ctime>
#include <memory>

#include "platform/storage/database.h"
#include "platform/storage/registry.h"

namespace quorvel::platform {
namespace {

int64_t MaxEntries(Registry& registry) {
  std::string text;
  if (registry.GetString(kHistoryKey, kHistoryMaxEntriesValue, text)) return kDefaultHistoryEntries;
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 1) {
    return kDefaultHistoryEntries;
  }
  return std::min(value, kMaxHistoryEntries);
}

}  // namespace

int64_t CurrentUnixSeconds() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

std::string HistoryTime(int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

std::error_code AppendHistory(HistoryEntry entry) {
  std::shared_ptr<Database> database;
  if (const std::error_code ec = SharedDatabase(database)) return ec;
  const int64_t now = CurrentUnixSeconds();
  if (entry.time.empty()) entry.time = HistoryTime(now);
  const std::string cutoff = HistoryTime(now - kHistoryDays * 24 * 3600);
  return database->Append([&]() -> std::error_code {
    Registry registry(*database);
    const int64_t maxEntries = MaxEntries(registry);
    sqlite::Statement insert;
    if (const std::error_code ec = database->Prepare(
            "INSERT INTO signing_history (time, caller, member, certificate, thumbprint, "
            "content_sha256, outcome, error_num) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
            insert, entry.time, entry.caller, entry.member, entry.certificate, entry.thumbprint,
            entry.contentSha256, entry.outcome, static_cast<int64_t>(entry.errorNum))) {
      return ec;
    }
    if (const std::error_code ec = insert.Run()) return ec;
    sqlite::Statement trim;
    if (const std::error_code ec = database->Prepare(
            "DELETE FROM signing_history WHERE id <= (SELECT MAX(id) FROM signing_history) - ?1 "
            "OR time < ?2",
            trim, maxEntries, cutoff)) {
      return ec;
    }
    return trim.Run();
  });
}

std::error_code ReadHistory(const HistoryFilter& filter, std::vector<HistoryEntry>& entries) {
  entries.clear();
  std::shared_ptr<Database> database;
  if (const std::error_code ec = SharedDatabase(database)) return ec;
  return database->Read([&]() -> std::error_code {
    sqlite::Statement select;
    if (const std::error_code ec = database->Prepare(
            "SELECT time, caller, member, certificate, thumbprint, content_sha256, outcome, "
            "error_num FROM signing_history WHERE (?1 = '' OR caller = ?1) AND time >= ?2 "
            "ORDER BY id",
            select, filter.caller.value_or(""), filter.since.value_or(""))) {
      return ec;
    }
    return select.ForEachRow([&] {
      entries.push_back({select.ColumnText(0), select.ColumnText(1), select.ColumnText(2),
                         select.ColumnText(3), select.ColumnText(4), select.ColumnText(5),
                         select.ColumnText(6), static_cast<int32_t>(select.ColumnInt64(7))});
    });
  });
}

std::error_code ClearHistory() {
  std::shared_ptr<Database> database;
  if (const std::error_code ec = SharedDatabase(database)) return ec;
  return database->Transact([&]() -> std::error_code {
    sqlite::Statement clear;
    if (const std::error_code ec = database->Prepare("DELETE FROM signing_history", clear)) {
      return ec;
    }
    return clear.Run();
  });
}

}  // namespace quorvel::platform
