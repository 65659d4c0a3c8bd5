#include "w3svc/static_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "platform/fs/windows_path.h"
#include "w3svc/http_time.h"
#include "w3svc/responses.h"

namespace w3svc {

namespace {

struct ByteRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
};

// As IIS forms it: the file time (100 ns since 1601) in hex, then a change count; the size
// stands in for the count so that any rewrite of the file changes the tag.
std::string entityTag(const struct stat& info) {
  const std::uint64_t fileTime = (static_cast<std::uint64_t>(info.st_mtim.tv_sec) + 11644473600ull) * 10000000ull +
                                 static_cast<std::uint64_t>(info.st_mtim.tv_nsec) / 100;
  char text[64];
  std::snprintf(text, sizeof(text), "\"%" PRIx64 ":%" PRIx64 "\"", fileTime, static_cast<std::uint64_t>(info.st_size));
  return text;
}

// weak: the comparison of If-None-Match, where "W/" tags match too; If-Match compares
// strongly, and a weak tag there matches nothing.
bool tagListMatches(const std::string& list, const std::string& tag, bool weak) {
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    std::string item = list.substr(start, comma - start);
    while (!item.empty() && item.front() == ' ') item.erase(0, 1);
    while (!item.empty() && item.back() == ' ') item.pop_back();
    const bool weakItem = item.rfind("W/", 0) == 0;
    if (weakItem) item.erase(0, 2);
    if (item == "*" || (item == tag && (weak || !weakItem))) return true;
    start = comma + 1;
  }
  return false;
}

// If-Match and If-Unmodified-Since: a client that resumes a download names the version it
// holds, and bytes of another version would be spliced into it.
bool preconditionFailed(const Request& request, const std::string& tag, std::time_t modified) {
  if (const std::string* match = findHeader(request.headers, "If-Match")) return !tagListMatches(*match, tag, false);
  if (const std::string* since = findHeader(request.headers, "If-Unmodified-Since")) {
    const auto when = parseHttpDateHeader(*since);
    return when && modified > *when;
  }
  return false;
}

bool notModified(const Request& request, const std::string& tag, std::time_t modified) {
  if (const std::string* match = findHeader(request.headers, "If-None-Match")) return tagListMatches(*match, tag, true);
  if (const std::string* since = findHeader(request.headers, "If-Modified-Since")) {
    const auto when = parseHttpDateHeader(*since);
    return when && modified <= *when;
  }
  return false;
}

// One "bytes=first-last", "bytes=first-" or "bytes=-suffix". nullopt: no usable range (the
// whole file is sent); a range with first > last marks an unsatisfiable one.
std::optional<ByteRange> parseRange(const std::string& header, std::uint64_t size) {
  if (header.rfind("bytes=", 0) != 0 || header.find(',') != std::string::npos) return std::nullopt;
  const std::string spec = header.substr(6);
  const std::size_t dash = spec.find('-');
  if (dash == std::string::npos) return std::nullopt;
  const std::string a = spec.substr(0, dash);
  const std::string b = spec.substr(dash + 1);
  auto digits = [](const std::string& s) {
    return !s.empty() && s.size() <= 19 && s.find_first_not_of("0123456789") == std::string::npos;
  };
  if (a.empty()) {
    if (!digits(b)) return std::nullopt;
    const std::uint64_t suffix = std::stoull(b);
    if (suffix == 0 || size == 0) return ByteRange{1, 0};
    return ByteRange{suffix >= size ? 0 : size - suffix, size - 1};
  }
  if (!digits(a) || (!b.empty() && !digits(b))) return std::nullopt;
  ByteRange range{std::stoull(a), b.empty() ? size - 1 : std::stoull(b)};
  if (range.first >= size) return ByteRange{1, 0};
  if (range.last >= size) range.last = size - 1;
  if (range.last < range.first) return std::nullopt;  // malformed: ignored, as RFC 7233 says
  return range;
}

bool rangeStillValid(const Request& request, const std::string& tag, std::time_t modified) {
  const std::string* condition = findHeader(request.headers, "If-Range");
  if (!condition) return true;
  if (!condition->empty() && condition->front() == '"') return *condition == tag;
  const auto when = parseHttpDateHeader(*condition);
  return when && *when == modified;
}

}  // namespace

OpenedFile& OpenedFile::operator=(OpenedFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    info_ = other.info_;
  }
  return *this;
}

OpenedFile::~OpenedFile() {
  if (fd_ >= 0) ::close(fd_);
}

namespace {

// The file at a host path opened for reading when it is a regular file; errno says why not.
// Not blocking: a pipe in the folder must not hold the thread.
std::optional<OpenedFile> openRegularFile(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat info {};
  if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) return OpenedFile(fd, info);
  const int error = errno;
  if (fd >= 0) ::close(fd);
  errno = error;
  return std::nullopt;
}

}  // namespace

StaticTarget resolveStaticTarget(Request& request) {
  const SiteConfig& site = *request.site;
  const std::string windows = translatedPath(site, request.url.path);
  // Most requests name a file as it is spelled: opening it finds it, and its status comes
  // from the descriptor.
  std::error_code ec;
  std::optional<std::filesystem::path> host;
  std::filesystem::file_status status;
  if (auto spelled = platform::fs::spelledHostPath(windows)) {
    if (request.url.path.back() != '/') {
      if (auto opened = openRegularFile(spelled->c_str())) return {0, std::move(*spelled), std::move(*opened)};
    }
    status = std::filesystem::status(*spelled, ec);
    if (!ec && std::filesystem::exists(status)) host = std::move(*spelled);
  }
  if (!host) {
    host = platform::fs::hostPath(windows);
    if (!host) return {404, {}, {}};
    status = std::filesystem::status(*host, ec);
  }
  if (ec || !std::filesystem::exists(status)) return {404, {}, {}};
  if (std::filesystem::is_regular_file(status)) {
    if (request.url.path.back() == '/') return {404, {}, {}};
    return {0, host->string(), {}};
  }
  if (!std::filesystem::is_directory(status)) return {403, {}, {}};
  if (request.url.path.back() != '/') return {302, {}, {}};
  for (const std::string& document : site.defaultDocuments) {
    const std::string url = request.url.path + document;
    const auto candidate = platform::fs::hostPath(translatedPath(site, url));
    if (candidate && std::filesystem::is_regular_file(*candidate, ec)) {
      request.url.path = url;
      return {0, candidate->string(), {}};
    }
  }
  return {403, {}, {}};
}

bool serveFile(const Request& request, StaticTarget& target, ResponseWriter& writer) {
  const bool head = request.method == "HEAD";
  if (!head && request.method != "GET") {
    // A method HTTP defines is not allowed on a file (405); one it does not is not known here.
    static constexpr std::string_view kDefined[] = {"POST", "PUT", "DELETE", "CONNECT", "OPTIONS", "TRACE", "PATCH"};
    const bool defined = std::find(std::begin(kDefined), std::end(kDefined), request.method) != std::end(kDefined);
    if (!defined) return sendErrorPage(request, writer, 501);
    return sendErrorPage(request, writer, 405, {{"Allow", "GET, HEAD"}});
  }
  if (target.opened.fd() < 0) {
    auto opened = openRegularFile(target.file.c_str());
    if (!opened) return sendErrorPage(request, writer, errno == EACCES ? 403 : 404);
    target.opened = std::move(*opened);
  }
  const int fd = target.opened.fd();
  const struct stat& info = target.opened.info();

  const std::string tag = entityTag(info);
  const std::time_t modified = info.st_mtim.tv_sec;
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (preconditionFailed(request, tag, modified)) return sendErrorPage(request, writer, 412);
  if (notModified(request, tag, modified)) {
    Response response = makeResponse(304);
    response.headers.push_back({"ETag", tag});
    response.headers.push_back({"Last-Modified", httpDate(modified)});
    return writer.sendHeader(response);
  }

  Response response = makeResponse(200);
  response.headers.push_back({"Content-Type", request.site->mime.typeOf(request.url.path)});
  response.headers.push_back({"Accept-Ranges", "bytes"});
  response.headers.push_back({"Last-Modified", httpDate(modified)});
  response.headers.push_back({"ETag", tag});
  std::uint64_t first = 0;
  std::uint64_t length = size;
  if (const std::string* rangeHeader = findHeader(request.headers, "Range");
      rangeHeader && rangeStillValid(request, tag, modified)) {
    if (const auto range = parseRange(*rangeHeader, size)) {
      if (range->first > range->last)
        return sendErrorPage(request, writer, 416, {{"Content-Range", "bytes */" + std::to_string(size)}});
      response = makeResponse(206);
      response.headers.push_back({"Content-Type", request.site->mime.typeOf(request.url.path)});
      response.headers.push_back({"Last-Modified", httpDate(modified)});
      response.headers.push_back({"ETag", tag});
      response.headers.push_back({"Content-Range", "bytes " + std::to_string(range->first) + "-" +
                                                       std::to_string(range->last) + "/" + std::to_string(size)});
      first = range->first;
      length = range->last - range->first + 1;
    }
  }
  response.headers.push_back({"Content-Length", std::to_string(length)});
  if (!writer.sendHeader(response, !head && length > 0)) return false;
  if (head) return true;

  return writer.sendFileBody(fd, first, length);
}

}  // namespace w3svc
