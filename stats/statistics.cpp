#include "stats/statistics.h"

#include <chrono>
#include <mutex>

#include "settings/rule_lists.h"
#include "stats/background_flush.h"
#include "stats/report_builder.h"
#include "stats/statistics_buffer.h"
#include "stats/stats_clock.h"

namespace stats {

namespace {

// Half a second: a quiet second then always ends with the files whole, even when a flush
// had to wait for another process's hold of "LogFile".
constexpr auto kFlushInterval = std::chrono::milliseconds(500);

struct ProcessStatistics {
  StatisticsBuffer buffer;
  BackgroundFlush flusher;  // after the buffer: ends before it
  std::mutex handleLock;
  std::shared_ptr<UniqueHandle> logMutex;  // the filter's, kept from start to stop
  // One report build at a time: the page is replaced in the order the builds read the
  // files, so the server never sends a request a page older than its own build.
  std::mutex reportLock;

  std::shared_ptr<UniqueHandle> mutex() {
    std::lock_guard lock(handleLock);
    return logMutex;
  }
};

ProcessStatistics& process() {
  static ProcessStatistics statistics;
  return statistics;
}

HANDLE handleOf(const std::shared_ptr<UniqueHandle>& mutex) { return mutex ? mutex->get() : nullptr; }

const settings::SiteSettings* siteOf(const settings::SiteTable& table, const std::string& instancePath) {
  for (const auto& site : table.Slots)
    if (site && site->InstancePath.str() == instancePath) return site.get();
  return nullptr;
}

}  // namespace

void StartStatistics(std::shared_ptr<UniqueHandle> logMutex) {
  ProcessStatistics& p = process();
  {
    std::lock_guard lock(p.handleLock);
    p.logMutex = logMutex;
  }
  p.flusher.start(p.buffer, std::move(logMutex), kFlushInterval);
}

void LogResponse(const LoggedResponse& response, const LogTarget& target) {
  ProcessStatistics& p = process();
  if (p.buffer.add(response, target, systemClock().now())) p.flusher.wake();
}

void ReloadStatistics(const settings::SiteTable* before, const settings::SiteTable* after) {
  ProcessStatistics& p = process();
  const auto mutex = p.mutex();
  if (before && after) {
    for (const auto& site : after->Slots) {
      if (!site) continue;
      const settings::SiteSettings* old = siteOf(*before, site->InstancePath.str());
      // The same fields in another order keep their files, as the console keeps them.
      if (old && !settings::sameReportFields(old->ReportMask.str(), site->ReportMask.str()))
        p.buffer.startAfresh(site->LogFolder.str(), handleOf(mutex), site->ReportMask.str());
    }
  }
  p.buffer.flush(handleOf(mutex));
}

void ReloadDrained() { process().buffer.forgetMasks(); }

void DeleteStatistics(std::string_view logFolder) {
  ProcessStatistics& p = process();
  p.buffer.startAfresh(logFolder, handleOf(p.mutex()));
}

void StopStatistics() {
  ProcessStatistics& p = process();
  p.flusher.stop();
  std::shared_ptr<UniqueHandle> mutex;
  {
    std::lock_guard lock(p.handleLock);
    mutex = std::move(p.logMutex);
  }
  p.buffer.flush(handleOf(mutex));
}

std::optional<std::string> GenerateReport(const settings::SiteSettings& site, HANDLE logMutex) {
  ProcessStatistics& p = process();
  std::lock_guard building(p.reportLock);
  p.buffer.flush(logMutex);
  // The report reads the statistics files without the mutex: a line being written is at
  // worst not yet complete, and the reading stops there.
  return buildReport(site.ReportMask.str(), site.LogFolder.str(), site.RootPath.str());
}

}  // namespace stats
