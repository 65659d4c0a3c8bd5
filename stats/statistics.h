#pragma once
// What the filter asks of statistics and reporting: one call per finished response of a
// site with reporting on, and the report page built on request.

#include <optional>
#include <string>

#include "filter/request_state.h"
#include "platform/handle.h"
#include "settings/site_settings.h"

namespace stats {

// Records one response in the site's statistics files, holding logMutex around the file
// accesses.
void LogResponse(const filter::ResponseState& response, const settings::SiteSettings& site, HANDLE logMutex);

// Builds "tamsicreport/report.htm" for the site from its statistics files and returns the
// page, or nullopt when there is nothing to build it from.
std::optional<std::string> GenerateReport(const settings::SiteSettings& site, HANDLE logMutex);

}  // namespace stats
