#pragma once
// The filter's calls into statistics and reporting. Logged responses are gathered in the
// process and written to the files by a flush: every half second while the filter runs,
// before a report is built, at a reload and when the filter stops. So after a quiet second
// the files hold every response, and a report counts every response logged before it.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/handle.h"
#include "settings/site_settings.h"
#include "stats/page_line.h"
#include "stats/statistics_log.h"

namespace stats {

// With the filter's start: the flushes begin, with this handle of "LogFile".
void StartStatistics(std::shared_ptr<UniqueHandle> logMutex);

// Records one finished response of a site with reporting on. Cheap: no file, no mutex
// shared with other processes.
void LogResponse(const LoggedResponse& response, const LogTarget& target);

// At a reload, before the new settings are used: a site whose report fields changed has
// had its files deleted by the console, so what is pending for it is dropped and anything
// written since is deleted too (its lines have the old columns); the rest is flushed.
// Until ReloadDrained, the lines of requests still bound to the settings before take the
// new columns: the files started afresh hold one layout.
void ReloadStatistics(const settings::SiteTable* before, const settings::SiteTable* after);

// The requests bound to the settings before a reload have all ended: no line of theirs is
// left to take the columns the files started with.
void ReloadDrained();

// At the filter's stop, once no response is left: the flushes end and what is pending is
// written.
void StopStatistics();

// The folder's statistics start afresh: its files are deleted and nothing pending for it
// is written (the "IIS Restart" sites at the filter's stop).
void DeleteStatistics(std::string_view logFolder);

// Builds "tamsicreport/report.htm" for the site from its statistics files, once everything
// logged is in them, and returns the page, or nullopt when there is nothing to build it from.
std::optional<std::string> GenerateReport(const settings::SiteSettings& site, HANDLE logMutex);

}  // namespace stats
