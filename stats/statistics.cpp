// The filter's calls into statistics and reporting.

#include "stats/statistics.h"

#include "stats/report_builder.h"
#include "stats/statistics_log.h"

namespace stats {

void LogResponse(const filter::ResponseState& response, const settings::SiteSettings& site, HANDLE logMutex) {
  LoggedResponse logged;
  logged.url = response.url.str();
  logged.unoptimizedSize = response.unoptimizedSize;
  logged.bodyLength = response.bodyLength;
  logged.sentLength = response.sentLength;
  logged.acceptedEncoding = static_cast<int>(response.acceptedEncoding);
  logged.servedFromCache = response.servedFromCache;
  logged.contentType = response.contentType.str();
  logged.unchanged = response.sentAsCaptured;
  LogResponseTo(logged, {site.ReportMask.str(), site.LogFolder.str(), site.RefreshLog.str()}, logMutex,
                systemClock());
}

std::optional<std::string> GenerateReport(const settings::SiteSettings& site, HANDLE) {
  // The report reads the statistics files without the mutex: a line being written is at
  // worst not yet complete, and the reading stops there.
  return buildReport(site.ReportMask.str(), site.LogFolder.str(), site.RootPath.str());
}

}  // namespace stats
