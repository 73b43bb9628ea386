// The platform's 64-bit file time: 100-nanosecond intervals since
// 1601-01-01 00:00:00 UTC, and its calendar fields. Everything here is UTC;
// the local time zone is never consulted.
#pragma once

#include <cstdint>

namespace quorvel::platform {

struct SystemTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int milliseconds = 0;
};

// False when the file time is outside what the platform converts (its top bit set).
bool FileTimeToSystemTime(uint64_t fileTime, SystemTime& time);

// False for fields out of range or a year outside 1601..30827.
bool SystemTimeToFileTime(const SystemTime& time, uint64_t& fileTime);

}  // namespace quorvel::platform
