#include "stats/statistics_log.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/fs/file_api.h"
#include "platform/fs/whole_file.h"

namespace stats {

namespace {

std::string inFolder(std::string_view folder, const char* name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path + name;
}

// The file emptied, then the lines written: the lines of a new period.
void replacePageLines(const std::string& file, std::string_view lines) {
  if (auto out = platform::fs::openFile(file, "wb")) std::fwrite(lines.data(), 1, lines.size(), out.get());
}

// Appended lines start a line of their own: a last line without its end (a file saved by an
// editor, a write cut short by a full disk) would otherwise run into the first of them, and
// the report would read one response where there were two, or fields in the wrong columns.
void appendPageLines(const std::string& file, std::string_view lines) {
  auto out = platform::fs::openFile(file, "a+b");
  if (!out) return;
  if (std::fseek(out.get(), -1, SEEK_END) == 0) {
    const int last = std::fgetc(out.get());
    std::fseek(out.get(), 0, SEEK_END);
    if (last != EOF && last != '\n') std::fwrite("\r\n", 1, 2, out.get());
  }
  std::fwrite(lines.data(), 1, lines.size(), out.get());
}

}  // namespace

std::optional<SiteStatFigures> readSiteStat(const std::string& siteFile) {
  auto in = platform::fs::openFile(siteFile, "rb");
  if (!in) return std::nullopt;
  SiteStatFigures read;
  // The count is written as an int: a larger one is no count of ours.
  if (std::fscanf(in.get(), "%lld %lf %lld", &read.start, &read.bytes, &read.count) != 3 || !std::isfinite(read.bytes) ||
      read.bytes < 0 || read.count < 0 || read.count > INT32_MAX)
    return std::nullopt;
  return read;
}

long refreshPeriod(std::string_view refreshLog) {
  if (refreshLog == "1 Day") return 86400;
  if (refreshLog == "1 Week") return 604800;
  if (refreshLog == "1 Month") return 2592000;
  return 0;
}

bool loggedAsCompressed(const LoggedResponse& response) {
  return !response.unchanged && response.sentLength != 0 && response.bodyLength != 0;
}

void PendingStatistics::addUncompressed(long long bodyLength, std::time_t now) {
  // Responses of one second share their period test: it compares whole seconds.
  if (uncompressed.empty() || uncompressed.back().at != now) uncompressed.push_back({now, pageLines.size(), 0, 0});
  uncompressed.back().count += 1;
  uncompressed.back().bytes += static_cast<double>(bodyLength);
}

void writePending(const PendingStatistics& pending, std::string_view logFolder, std::string_view refreshLog) {
  if (pending.empty()) return;
  createFolderPath(logFolder);
  const std::string pageFile = inFolder(logFolder, kPageStatFile);
  if (pending.uncompressed.empty()) return appendPageLines(pageFile, pending.pageLines);

  const std::string siteFile = inFolder(logFolder, kSiteStatFile);
  SiteStatFigures totals = readSiteStat(siteFile).value_or(
      SiteStatFigures{static_cast<long long>(pending.uncompressed.front().at), 0, 0});
  // The period is tested as each response would have tested it when logged: the first one
  // logged a whole period after the start begins a new period, and the page lines logged
  // before it go with the old one.
  const long period = refreshPeriod(refreshLog);
  std::string_view lines = pending.pageLines;
  bool restarted = false;
  for (const PendingStatistics::Second& second : pending.uncompressed) {
    if (period != 0 && second.at - totals.start >= period) {
      totals = SiteStatFigures{static_cast<long long>(second.at), 0, 0};
      lines = std::string_view(pending.pageLines).substr(second.pageLinesBefore);
      restarted = true;
    }
    totals.count += second.count;
    totals.bytes += second.bytes;
  }
  if (restarted) {
    replacePageLines(pageFile, lines);
  } else if (!lines.empty()) {
    appendPageLines(pageFile, lines);
  }
  // The count stops at the largest an int holds, which the file's readers take: past it, it
  // would read as damaged and the site's totals would start again from nothing.
  char text[128];
  const int length = std::snprintf(text, sizeof(text), "%lld %f %lld", totals.start, totals.bytes,
                                   std::min<long long>(totals.count, INT32_MAX));
  // Replaced whole, so that a report built meanwhile never reads a truncated file.
  if (length > 0) platform::fs::replaceFileWhole(siteFile, std::string_view(text, static_cast<std::size_t>(length)));
}

void deleteLogFiles(std::string_view logFolder) {
  for (const char* name : {kPageStatFile, kSiteStatFile}) {
    const std::string path = inFolder(logFolder, name);
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) DeleteFileA(path.c_str());
  }
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

}  // namespace stats
