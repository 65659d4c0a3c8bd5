#include "filter/hidden_folders.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "filter/isapi_access.h"
#include "platform/fs/file_api.h"
#include "platform/fs/whole_file.h"
#include "platform/text/ascii_case.h"
#include "settings/site_folders.h"
#include "stats/statistics_log.h"

namespace filter {

namespace {

bool separator(char c) { return c == '\\' || c == '/'; }

// The path without the '\\' (or '/') a folder may end with; a drive's root ("C:\\") keeps it.
std::string_view trimmed(std::string_view path) {
  while (path.size() > 3 && separator(path.back())) path.remove_suffix(1);
  return path;
}

std::string withBackslashes(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

// Compared in place, as if both were written with '\\' alone and in one case: this runs for
// every request, so nothing is copied. A letter beyond ASCII is the file system's to fold.
bool inside(std::string_view path, std::string_view folder) {
  path = trimmed(path);
  folder = trimmed(folder);
  if (folder.empty() || path.size() < folder.size()) return false;
  if (!(path.size() == folder.size() || separator(path[folder.size()]) || separator(folder.back()))) return false;
  for (std::size_t i = 0; i < folder.size(); ++i) {
    const char a = path[i];
    const char b = folder[i];
    if ((separator(a) && separator(b)) || platform::text::lowerAscii(a) == platform::text::lowerAscii(b)) continue;
    if (!((a | b) & 0x80)) return false;
    return platform::fs::sameNameIgnoringCase(withBackslashes(path.substr(0, folder.size())), withBackslashes(folder));
  }
  return true;
}

// Windows opens a file by other spellings than the plain one: with dots or blanks behind a
// component ("gziplog.\\pagestat.txt", "gziplog \\...") and through short names
// ("GZIPCA~1"). Such a path is compared as the name Windows reads it as.
bool spelledOtherwise(std::string_view path) {
  if (path.find('~') != std::string_view::npos) return true;
  for (std::size_t start = 0, end = 0; start < path.size(); start = end + 1) {
    for (end = start; end < path.size() && !separator(path[end]);) ++end;
    const std::string_view part = path.substr(start, end - start);
    if (!part.empty() && (part.back() == '.' || part.back() == ' ') && part.find_first_not_of('.') != std::string_view::npos)
      return true;
  }
  return false;
}

// The path spelled plainly, its short names read from the longest part of it that exists:
// a file need not exist for the folder it names to be hidden.
std::string asWindowsReadsIt(std::string_view path, std::string_view siteRoot) {
  const std::string out = settings::plainFolder(path, siteRoot);
  for (std::size_t end = out.size(); out.find('~') < end && end != std::string::npos; end = out.rfind('\\', end - 1)) {
    if (auto longName = platform::fs::longPathName(std::string_view(out).substr(0, end)))
      return *longName + out.substr(end);
    if (end == 0) break;
  }
  return out;
}

constexpr char kNotFoundPage[] =
    "<html><head><title>404 Not Found</title></head>\r\n<body><h1>404 Not Found</h1></body></html>\r\n";

// What follows the folder in a path inside it, without the separators in between.
std::string_view below(std::string_view path, std::string_view folder) {
  std::string_view rest = trimmed(path).substr(trimmed(folder).size());
  while (!rest.empty() && separator(rest.front())) rest.remove_prefix(1);
  return rest;
}

bool isFirstComponent(std::string_view rest, std::string_view name) {
  return rest.size() >= name.size() && platform::text::equalsNoCase(rest.substr(0, name.size()), name) &&
         (rest.size() == name.size() || separator(rest[name.size()]));
}

// A statistics file, or a temporary one written beside it and renamed over it.
bool isStatisticsFile(std::string_view rest) {
  return rest.find_first_of("\\/") == std::string_view::npos &&
         (platform::fs::isTargetOrTemporary(rest, stats::kPageStatFile) ||
          platform::fs::isTargetOrTemporary(rest, stats::kSiteStatFile));
}

}  // namespace

bool InsideFilterFolder(std::string_view path, const settings::SiteSettings& site) {
  std::string readAs;
  if (spelledOtherwise(path)) path = readAs = asWindowsReadsIt(path, site.RootPath.str());
  // Only what the filter writes is hidden: the copies below the cache folder's own folder,
  // the statistics files in the log folder. A folder set to one that holds pages (or to the
  // site's root) goes on serving them.
  const std::string_view cache = site.PlainCacheFolder;
  if (inside(path, cache) && isFirstComponent(below(path, cache), settings::kCacheSubFolder + 1)) return true;
  const std::string_view log = site.PlainLogFolder;
  return inside(path, log) && isStatisticsFile(below(path, log));
}

void AnswerNotFound(HTTP_FILTER_CONTEXT* pfc) {
  const std::string headers = "Content-Type: text/html\r\nContent-Length: " + std::to_string(sizeof(kNotFoundPage) - 1) +
                              "\r\n\r\n";
  pfc->ServerSupportFunction(pfc, SF_REQ_SEND_RESPONSE_HEADER, const_cast<char*>("404 Not Found"),
                             reinterpret_cast<ULONG_PTR>(headers.c_str()), 0);
  // A HEAD answer ends at its header: a body behind it would be read as the next answer.
  if (ServerVariable(pfc, "REQUEST_METHOD", 12).value_or("") == "HEAD") return;
  DWORD bytes = sizeof(kNotFoundPage) - 1;
  pfc->WriteClient(pfc, const_cast<char*>(kNotFoundPage), &bytes, 0);
}

}  // namespace filter
