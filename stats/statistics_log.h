#pragma once
// The statistics files of one site in its log folder: "pagestat.txt", a line per
// compressed response, and "sitestat.txt", the running totals of the uncompressed ones with
// the start of their period. One writer at a time across the machine, through the mutex
// "LogFile" held only around the file accesses. Failures write nothing and are not reported.

#include <string_view>

#include "platform/handle.h"
#include "stats/page_line.h"
#include "stats/stats_clock.h"

namespace stats {

constexpr const char* kPageStatFile = "pagestat.txt";
constexpr const char* kSiteStatFile = "sitestat.txt";

struct LogTarget {
  std::string_view reportMask;
  std::string_view logFolder;   // Windows path
  std::string_view refreshLog;  // "1 Day", "1 Week", "1 Month"; anything else has no period
};

// Seconds of a "RefreshLog" period; 0 for none. Exact, case-sensitive names.
long refreshPeriod(std::string_view refreshLog);

void LogResponseTo(const LoggedResponse& response, const LogTarget& target, HANDLE logMutex, const Clock& clock);

// Creates every missing folder along a Windows path, one level at a time.
void createFolderPath(std::string_view windowsFolder);

}  // namespace stats
