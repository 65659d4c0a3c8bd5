// The statistics files and the report are not written yet: responses are not recorded
// and the report request falls through to the server (which serves the file if present).

#include "stats/statistics.h"

namespace stats {

void LogResponse(const filter::ResponseState&, const settings::SiteSettings&, HANDLE) {}

std::optional<std::string> GenerateReport(const settings::SiteSettings&, HANDLE) { return std::nullopt; }

}  // namespace stats
