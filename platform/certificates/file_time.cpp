#include "platform/certificates/file_time.h"

namespace quorvel::platform {
namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kSecondsPerDay = 86'400;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDays = 134'774;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int64_t& year, int& month, int& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  year = yearOfEra + era * 400 + (month <= 2);
}

bool IsLeap(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

}  // namespace

bool FileTimeToSystemTime(uint64_t fileTime, SystemTime& time) {
  if (fileTime > 0x7FFF'FFFF'FFFF'FFFFull) return false;
  const auto ticks = static_cast<int64_t>(fileTime);
  const int64_t seconds = ticks / kTicksPerSecond;
  const int64_t days = seconds / kSecondsPerDay;
  const int64_t secondOfDay = seconds % kSecondsPerDay;
  int64_t year = 0;
  CivilFromDays(days - kEpochDays, year, time.month, time.day);
  time.year = static_cast<int>(year);
  time.hour = static_cast<int>(secondOfDay / 3600);
  time.minute = static_cast<int>(secondOfDay / 60 % 60);
  time.second = static_cast<int>(secondOfDay % 60);
  time.milliseconds = static_cast<int>(ticks % kTicksPerSecond / 10'000);
  return true;
}

bool SystemTimeToFileTime(const SystemTime& time, uint64_t& fileTime) {
  if (time.year < 1601 || time.year > 30827 || time.month < 1 || time.month > 12 || time.day < 1 ||
      time.day > DaysInMonth(time.year, time.month) || time.hour < 0 || time.hour > 23 ||
      time.minute < 0 || time.minute > 59 || time.second < 0 || time.second > 59 ||
      time.milliseconds < 0 || time.milliseconds > 999) {
    return false;
  }
  const int64_t days = DaysFromCivil(time.year, time.month, time.day) + kEpochDays;
  const int64_t seconds = days * kSecondsPerDay + time.hour * 3600 + time.minute * 60 + time.second;
  fileTime = static_cast<uint64_t>(seconds * kTicksPerSecond + time.milliseconds * 10'000);
  return true;
}

}  // namespace quorvel::platform
