// File times and Unix times, the same on both systems.

#include "platform/fs/file_api.h"

namespace platform::fs {

namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600LL;

}  // namespace

FILETIME fileTimeFromUnix(std::int64_t seconds, long nanoseconds) {
  const std::uint64_t ticks =
      static_cast<std::uint64_t>(seconds + kEpochDifference) * 10000000ULL + static_cast<std::uint64_t>(nanoseconds / 100);
  return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
}

std::int64_t unixFromFileTime(const FILETIME& ft) {
  return static_cast<std::int64_t>(ticksOf(ft) / 10000000ULL) - kEpochDifference;
}

std::uint64_t ticksOf(const FILETIME& ft) { return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

}  // namespace platform::fs
