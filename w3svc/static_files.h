#pragma once
// Files below a site's home directory: GET and HEAD with the MIME map's type,
// Last-Modified and a strong ETag, conditional requests (304), single byte ranges (206),
// the default document of a folder and the redirect of a folder named without its slash.

#include <sys/stat.h>

#include <string>
#include <utility>

#include "w3svc/exchange.h"
#include "w3svc/response_writer.h"

namespace w3svc {

// Where a URL leads: the file to send, a folder's default document (the request's URL then
// names it, as filters see it on IIS), or the status to answer instead.
// A file found by opening it (one path lookup instead of two): its descriptor and status.
class OpenedFile {
 public:
  OpenedFile() = default;
  OpenedFile(int fd, const struct stat& info) : fd_(fd), info_(info) {}
  OpenedFile(OpenedFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)), info_(other.info_) {}
  OpenedFile& operator=(OpenedFile&& other) noexcept;
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
  ~OpenedFile();
  int fd() const { return fd_; }
  const struct stat& info() const { return info_; }

 private:
  int fd_ = -1;
  struct stat info_ {};
};

struct StaticTarget {
  unsigned status = 0;  // 0: send `file`; 302 for a folder without its slash; 403, 404
  std::string file;  // its host path, kept as text: a path object would split it for nothing
  OpenedFile opened;  // the file already open, when it was found that way
};
StaticTarget resolveStaticTarget(Request& request);

// Sends the file; false when the connection cannot carry another request.
bool serveFile(const Request& request, StaticTarget& target, ResponseWriter& writer);

}  // namespace w3svc
