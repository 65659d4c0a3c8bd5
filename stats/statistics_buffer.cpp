#include "stats/statistics_buffer.h"

#include <algorithm>

#include "platform/sync/named_mutex.h"

namespace stats {

namespace {

// Page lines are about 100 bytes: a few thousand responses pending before a flush is
// called early keeps the memory of a burst small and the appends large.
constexpr std::size_t kEarlyFlushBytes = 512 * 1024;

// Holds "LogFile" for one flush; `held` is false when the wait failed.
class MutexHold {
 public:
  explicit MutexHold(HANDLE mutex) : mutex_(mutex) {
    // An abandoned mutex is owned all the same (its last holder died writing): the files
    // are rewritten whole or appended by line, so going on is safe, and it must be released.
    const DWORD waited = mutex_ ? WaitForSingleObject(mutex_, INFINITE) : WAIT_FAILED;
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  }
  MutexHold(const MutexHold&) = delete;
  MutexHold& operator=(const MutexHold&) = delete;
  ~MutexHold() {
    if (held_) ReleaseMutex(mutex_);
  }
  bool held() const { return held_; }

 private:
  HANDLE mutex_;
  bool held_ = false;
};

}  // namespace

bool StatisticsBuffer::add(const LoggedResponse& response, const LogTarget& target, std::time_t now) {
  const bool compressed = loggedAsCompressed(response);
  std::string line = compressed ? formatPageLine(response, target.reportMask) : std::string();
  std::lock_guard lock(pendingLock_);
  if (compressed) {
    const auto mask = std::find_if(masks_.begin(), masks_.end(), [&](const auto& m) { return m.first == target.logFolder; });
    if (mask != masks_.end() && mask->second != target.reportMask) line = formatPageLine(response, mask->second);
  }
  auto folder = std::find_if(folders_.begin(), folders_.end(), [&](const Folder& f) {
    return f.logFolder == target.logFolder && f.refreshLog == target.refreshLog;
  });
  if (folder == folders_.end())
    folder = folders_.insert(folders_.end(), {std::string(target.logFolder), std::string(target.refreshLog), {}});
  if (compressed) {
    folder->pending.addPageLine(line);
    pendingBytes_ += line.size();
  } else {
    folder->pending.addUncompressed(response.bodyLength, now);
  }
  return pendingBytes_ >= kEarlyFlushBytes;
}

void StatisticsBuffer::flush(HANDLE logMutex) {
  std::lock_guard flushing(flushLock_);
  std::vector<Folder> batch;
  {
    std::lock_guard lock(pendingLock_);
    batch.swap(folders_);
    pendingBytes_ = 0;
  }
  if (batch.empty()) return;
  MutexHold hold(logMutex);
  if (!hold.held()) return;
  for (const Folder& folder : batch) writePending(folder.pending, folder.logFolder, folder.refreshLog);
}

void StatisticsBuffer::startAfresh(std::string_view logFolder, HANDLE logMutex,
                                   std::optional<std::string_view> reportMask) {
  std::lock_guard flushing(flushLock_);
  {
    std::lock_guard lock(pendingLock_);
    std::erase_if(folders_, [&](const Folder& f) { return f.logFolder == logFolder; });
    std::erase_if(masks_, [&](const auto& m) { return m.first == logFolder; });
    if (reportMask) masks_.emplace_back(logFolder, *reportMask);
    pendingBytes_ = 0;
    for (const Folder& f : folders_) pendingBytes_ += f.pending.pageLines.size();
  }
  // Under the mutex, so that no other process is halfway through adding to them.
  MutexHold hold(logMutex);
  deleteLogFiles(logFolder);
}

void StatisticsBuffer::forgetMasks() {
  std::lock_guard lock(pendingLock_);
  masks_.clear();
}

}  // namespace stats
