#include "compress/http_date.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace compression {

namespace {
constexpr char kDays[] = "SunMonTueWedThuFriSat";
constexpr char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar (month 1-12): plain
// arithmetic, the same on every platform, instead of the C runtime's UTC calls.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

std::tm utcFromSeconds(std::int64_t seconds) {
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  std::tm t{};
  t.tm_hour = static_cast<int>(rest / 3600);
  t.tm_min = static_cast<int>(rest % 3600 / 60);
  t.tm_sec = static_cast<int>(rest % 60);
  t.tm_wday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned dayOfEra = static_cast<unsigned>(z - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned mp = (5 * dayOfYear + 2) / 153;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  t.tm_mday = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  t.tm_mon = static_cast<int>(month - 1);
  t.tm_year = static_cast<int>(static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2) - 1900);
  return t;
}

// Two or four characters as a number, a leading blank allowed (as atoi reads them).
int field(std::string_view text, std::size_t from, std::size_t count) {
  std::size_t i = from, end = from + count;
  while (i < end && text[i] == ' ') ++i;
  int value = 0;
  for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
  return value;
}
}  // namespace

std::string FormatHttpDate(const std::tm& t) {
  char buffer[40];
  const int day = t.tm_wday >= 0 && t.tm_wday < 7 ? t.tm_wday : 0;
  const int month = t.tm_mon >= 0 && t.tm_mon < 12 ? t.tm_mon : 0;
  std::snprintf(buffer, sizeof(buffer), "%.3s, %02d %.3s %04d %02d:%02d:%02d GMT", kDays + 3 * day, t.tm_mday,
                kMonths + 3 * month, t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
  return buffer;
}

std::string FormatHttpDate(std::time_t when) {
  return FormatHttpDate(utcFromSeconds(static_cast<std::int64_t>(when)));
}

std::optional<std::tm> ParseHttpDate(std::string_view text) {
  if (text.size() < 28) return std::nullopt;
  std::tm t{};
  const std::string_view month = text.substr(8, 3);
  const char* found = nullptr;
  for (int m = 0; m < 12 && !found; ++m)
    if (month == std::string_view(kMonths + 3 * m, 3)) {
      found = kMonths + 3 * m;
      t.tm_mon = m;
    }
  if (!found) return std::nullopt;
  t.tm_mday = field(text, 5, 2);
  t.tm_year = field(text, 12, 4) - 1900;
  t.tm_hour = field(text, 17, 2);
  t.tm_min = field(text, 20, 2);
  t.tm_sec = field(text, 23, 2);
  return t;
}

std::optional<std::time_t> ParseHttpTime(std::string_view text) {
  auto t = ParseHttpDate(text);
  if (!t) return std::nullopt;
  const std::int64_t days = daysFromCivil(t->tm_year + 1900, static_cast<unsigned>(t->tm_mon) + 1, 1) + t->tm_mday - 1;
  return static_cast<std::time_t>(days * 86400 + t->tm_hour * 3600 + t->tm_min * 60 + t->tm_sec);
}

}  // namespace compression
