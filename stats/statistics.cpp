// The filter's calls into statistics and reporting.

#include "stats/statistics.h"

#include "stats/report_builder.h"

namespace stats {

std::optional<std::string> GenerateReport(const settings::SiteSettings& site, HANDLE) {
  // The report reads the statistics files without the mutex: a line being written is at
  // worst not yet complete, and the reading stops there.
  return buildReport(site.ReportMask.str(), site.LogFolder.str(), site.RootPath.str());
}

}  // namespace stats
