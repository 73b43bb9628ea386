// The signing history: one entry for every operation in which a private key
// was used (or refused) for a caller the hosting program named, kept in the
// platform home's database. Never the content itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace quorvel::platform {

inline constexpr std::string_view kHistoryKey = "HKEY_CURRENT_USER\\Software\\Quorvel\\History";
inline constexpr std::string_view kHistoryMaxEntriesValue = "MaxEntries";
inline constexpr int64_t kDefaultHistoryEntries = 10000;
inline constexpr int64_t kMaxHistoryEntries = 1000000;
// Entries older than this are dropped whatever the bound.
inline constexpr int64_t kHistoryDays = 365;

struct HistoryEntry {
  std::string time;    // UTC, "2026-12-09T07:40:02Z"
  std::string caller;  // the web origin, or "local"
  std::string member;
  std::string certificate;  // the subject as text
  std::string thumbprint;   // SHA-1 of the certificate, lower-case hex
  std::string contentSha256;
  std::string outcome;  // "signed", "decrypted", "cancelled" or "failed"
  int32_t errorNum = 0;
};

// `seconds` since 1970 as the history writes times.
std::string HistoryTime(int64_t seconds);
int64_t CurrentUnixSeconds();

// Adds `entry` (its time set to now when empty), then drops the oldest past
// the registry's MaxEntries (default 10,000) and any older than a year.
std::error_code AppendHistory(HistoryEntry entry);

struct HistoryFilter {
  std::optional<std::string> caller;
  std::optional<std::string> since;  // a time as written, or a date "YYYY-MM-DD"
};

// The entries that pass `filter`, oldest first.
std::error_code ReadHistory(const HistoryFilter& filter, std::vector<HistoryEntry>& entries);

std::error_code ClearHistory();

}  // namespace quorvel::platform
