#pragma once
// The report page the filter builds on request; each finished response is logged with
// LogResponseTo (statistics_log.h).

#include <optional>
#include <string>

#include "platform/handle.h"
#include "settings/site_settings.h"

namespace stats {

// Builds "tamsicreport/report.htm" for the site from its statistics files and returns the
// page, or nullopt when there is nothing to build it from.
std::optional<std::string> GenerateReport(const settings::SiteSettings& site, HANDLE logMutex);

}  // namespace stats
