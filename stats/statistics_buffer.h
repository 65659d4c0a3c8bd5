#pragma once
// The statistics of every site this process serves, gathered in memory and written to the
// files now and then (a flush), so that logging a response costs a line formatted and a
// lock held for an append, not a machine-wide mutex and a file rewrite. Safe for several
// threads; flushes run one at a time.

#include <cstddef>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/handle.h"
#include "stats/statistics_log.h"

namespace stats {

class StatisticsBuffer {
 public:
  // Records one finished response. True when so much is pending that a flush should not
  // wait for its time.
  bool add(const LoggedResponse& response, const LogTarget& target, std::time_t now);

  // Writes everything recorded before the call, under "LogFile"; when it returns, the files
  // hold it. A failed wait for the mutex loses what was pending.
  void flush(HANDLE logMutex);

  // Drops what is pending for the folder and deletes its files: the statistics start
  // afresh there. With a mask, every page line recorded for the folder takes its columns
  // until forgetMasks, also the line of a request that began under the mask before (a
  // reload drains such requests after the files started afresh).
  void startAfresh(std::string_view logFolder, HANDLE logMutex,
                   std::optional<std::string_view> reportMask = std::nullopt);
  // Page lines take their own site's mask again.
  void forgetMasks();

 private:
  struct Folder {
    std::string logFolder;
    std::string refreshLog;
    PendingStatistics pending;
  };

  std::mutex pendingLock_;  // guards folders_, masks_ and pendingBytes_, held for an append only
  std::vector<Folder> folders_;  // a handful of sites: searched in order
  std::vector<std::pair<std::string, std::string>> masks_;  // log folder, the mask its files took
  std::size_t pendingBytes_ = 0;
  std::mutex flushLock_;  // one flush at a time, so a flush returns only once all before it is written
};

}  // namespace stats
