#pragma once
// The statistics files of one site in its log folder: "pagestat.txt", a line per
// compressed response, and "sitestat.txt", the running totals of the uncompressed ones with
// the start of their period. Responses are gathered in memory as PendingStatistics and
// added to the files in one go by writePending, under the machine-wide mutex "LogFile":
// the files hold the totals of every process that logs to them, so each write reads what
// is there and adds its own. Failures write nothing and are not reported.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stats/page_line.h"

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

// "sitestat.txt": the start of the period, the bytes and the number of the uncompressed
// responses in it.
struct SiteStatFigures {
  long long start = 0;  // seconds since 1970, past 2038 too
  double bytes = 0;
  long long count = 0;
};

// The figures of a site file; none when it is missing or damaged (a figure missing, not a
// number, infinite or negative), which both its writer and the report take as no totals.
std::optional<SiteStatFigures> readSiteStat(const std::string& siteFile);

// What one log folder has gathered since it was last written: the page lines in the order
// they were logged, and the uncompressed responses by the second they were logged in, each
// second with how many page lines came before it (a period that has passed restarts both
// files at the first uncompressed response after it, dropping the lines logged before).
struct PendingStatistics {
  struct Second {
    std::time_t at = 0;
    std::size_t pageLinesBefore = 0;  // bytes of pageLines logged before this second's first response
    long long count = 0;
    double bytes = 0;
  };
  std::string pageLines;
  std::vector<Second> uncompressed;

  void addPageLine(std::string_view line) { pageLines += line; }
  void addUncompressed(long long bodyLength, std::time_t now);
  bool empty() const { return pageLines.empty() && uncompressed.empty(); }
};

// A response that went out compressed gets a page line; any other counts in the totals.
bool loggedAsCompressed(const LoggedResponse& response);

// Adds what is pending to the files of logFolder (created along its path first): the page
// lines in one append, the uncompressed totals with one read and one rewrite of
// "sitestat.txt". The caller holds "LogFile".
void writePending(const PendingStatistics& pending, std::string_view logFolder, std::string_view refreshLog);

// Deletes both files of the folder, each only if it exists.
void deleteLogFiles(std::string_view logFolder);

// Creates every missing folder along a Windows path, one level at a time.
void createFolderPath(std::string_view windowsFolder);

}  // namespace stats
