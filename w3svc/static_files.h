#pragma once
// Files below a site's home directory: GET and HEAD with the MIME map's type,
// Last-Modified and a strong ETag, conditional requests (304), single byte ranges (206),
// the default document of a folder and the redirect of a folder named without its slash.

#include <filesystem>

#include "w3svc/exchange.h"
#include "w3svc/response_writer.h"

namespace w3svc {

// Where a URL leads: the file to send, a folder's default document (the request's URL then
// names it, as filters see it on IIS), or the status to answer instead.
struct StaticTarget {
  unsigned status = 0;  // 0: send `file`; 302 for a folder without its slash; 403, 404
  std::filesystem::path file;
};
StaticTarget resolveStaticTarget(Request& request);

// Sends the file; false when the connection cannot carry another request.
bool serveFile(const Request& request, const std::filesystem::path& file, ResponseWriter& writer);

}  // namespace w3svc
