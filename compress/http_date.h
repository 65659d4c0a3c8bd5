#pragma once
// The HTTP date text of expiries: RFC 1123 form in UTC, "Sun, 06 Nov 1994 08:49:37 GMT".

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace compression {

std::string FormatHttpDate(const std::tm& utc);
std::string FormatHttpDate(std::time_t when);

// Reads the fields from their fixed places (day 5-6, month 8-10, year 12-15, hour 17-18,
// minute 20-21, second 23-24, counted from 0); the weekday and zone are not read. nullopt
// for a text of fewer than 28 characters or an unknown month name (case-sensitive).
std::optional<std::tm> ParseHttpDate(std::string_view text);

// The parsed moment as seconds since 1970 (UTC).
std::optional<std::time_t> ParseHttpTime(std::string_view text);

}  // namespace compression
