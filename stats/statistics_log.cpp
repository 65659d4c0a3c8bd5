#include "stats/statistics_log.h"

#include <cstdio>
#include <string>

#include "platform/fs/file_api.h"
#include "platform/fs/whole_file.h"
#include "platform/sync/named_mutex.h"

namespace stats {

namespace {

// Holds the mutex for one log call; `held` is false when the wait failed.
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

std::string inFolder(std::string_view folder, const char* name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path + name;
}

struct SiteTotals {
  long start = 0;
  double bytes = 0;
  long count = 0;
};

void writePageLine(const std::string& file, const std::string& line) {
  if (auto out = platform::fs::openFile(file, "ab")) std::fwrite(line.data(), 1, line.size(), out.get());
}

void addUncompressed(const LoggedResponse& response, const LogTarget& target, std::time_t now) {
  const std::string siteFile = inFolder(target.logFolder, kSiteStatFile);
  SiteTotals totals{static_cast<long>(now), 0, 0};
  if (auto in = platform::fs::openFile(siteFile, "rb")) {
    SiteTotals read;
    if (std::fscanf(in.get(), "%ld %lf %ld", &read.start, &read.bytes, &read.count) == 3) totals = read;
  }
  const long period = refreshPeriod(target.refreshLog);
  if (period != 0 && now - totals.start >= period) {
    totals = SiteTotals{static_cast<long>(now), 0, 0};
    platform::fs::openFile(inFolder(target.logFolder, kPageStatFile), "wb");
  }
  totals.count += 1;
  totals.bytes += static_cast<double>(response.bodyLength);
  char text[128];
  const int length = std::snprintf(text, sizeof(text), "%d %f %d", static_cast<int>(totals.start), totals.bytes,
                                   static_cast<int>(totals.count));
  // Replaced whole, so that a report built meanwhile never reads a truncated file.
  if (length > 0) platform::fs::replaceFileWhole(siteFile, std::string_view(text, static_cast<std::size_t>(length)));
}

}  // namespace

long refreshPeriod(std::string_view refreshLog) {
  if (refreshLog == "1 Day") return 86400;
  if (refreshLog == "1 Week") return 604800;
  if (refreshLog == "1 Month") return 2592000;
  return 0;
}

void createFolderPath(std::string_view windowsFolder) {
  // "C:\a\b\c": each prefix ending before a separator, after the drive's own.
  for (std::size_t at = 0; at <= windowsFolder.size(); ++at) {
    if (at != windowsFolder.size() && windowsFolder[at] != '\\' && windowsFolder[at] != '/') continue;
    const std::string prefix(windowsFolder.substr(0, at));
    if (prefix.empty() || prefix.back() == ':') continue;
    if (GetFileAttributesA(prefix.c_str()) == INVALID_FILE_ATTRIBUTES) CreateDirectoryA(prefix.c_str(), nullptr);
  }
}

void LogResponseTo(const LoggedResponse& response, const LogTarget& target, HANDLE logMutex, const Clock& clock) {
  createFolderPath(target.logFolder);
  if (!response.unchanged && response.sentLength != 0 && response.bodyLength != 0) {
    const std::string line = formatPageLine(response, target.reportMask);
    MutexHold hold(logMutex);
    if (hold.held()) writePageLine(inFolder(target.logFolder, kPageStatFile), line);
    return;
  }
  const std::time_t now = clock.now();
  MutexHold hold(logMutex);
  if (hold.held()) addUncompressed(response, target, now);
}

}  // namespace stats
