#include "compress/http_date.h"

#include <cstdio>
#include <cstring>

namespace compression {

namespace {
constexpr char kDays[] = "SunMonTueWedThuFriSat";
constexpr char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";

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
  std::tm utc{};
  gmtime_r(&when, &utc);
  return FormatHttpDate(utc);
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
  return timegm(&*t);
}

}  // namespace compression
