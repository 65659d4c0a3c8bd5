#pragma once
// The compression report of one site: the statistics files read with the current mask
// into a sorted page list and the site totals, and "rtemplate.dat" of the report folder
// assembled into "report.htm" with the totals as a script block ("[sitestats]") and the
// pages as a folding tree of links ("[pagestats]").

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace stats {

constexpr const char* kTemplateFile = "rtemplate.dat";
constexpr const char* kReportFile = "report.htm";

struct PageEntry {
  std::string mimeType;
  unsigned hits = 0;
  long long originalSize = 0;
  long long optimizedSize = 0;
  long long compressedSize = 0;
  double percentSaved = 0;
  unsigned cacheHits = 0;
  unsigned gzipHits = 0;
  unsigned deflateHits = 0;
};

struct SiteTotals {
  double totalBR = 0;   // bytes before compression, all responses
  double totalBS = 0;   // bytes sent
  double totalCBS = 0;  // bytes sent compressed
  double totalUBS = 0;  // bytes sent uncompressed
  double totalS = 0;    // bytes saved
  unsigned totalR = 0;
  unsigned totalCR = 0;
  unsigned totalUR = 0;
  unsigned totalC = 0;  // served from the cache
};

struct Statistics {
  std::map<std::string, PageEntry> pages;  // by URL, byte order
  SiteTotals totals;
};

// Missing files count as empty; reading "pagestat.txt" ends at its first unreadable line.
Statistics readStatistics(std::string_view logFolder, std::string_view mask);

std::string siteBlock(const SiteTotals& totals);
std::string pageTree(const Statistics& statistics, std::string_view mask);

// Writes "report.htm" in the report folder and returns its text; nullopt (and the old
// report left in place) when the template is missing or lacks a marker, or the report
// cannot be written.
std::optional<std::string> buildReport(std::string_view reportMask, std::string_view logFolder,
                                       std::string_view rootPath);

}  // namespace stats
