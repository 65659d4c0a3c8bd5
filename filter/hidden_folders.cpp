#include "filter/hidden_folders.h"

#include <string>
#include <string_view>

#include "filter/isapi_access.h"
#include "platform/text/ascii_case.h"

namespace filter {

namespace {

bool separator(char c) { return c == '\\' || c == '/'; }

// The path without the '\\' (or '/') a folder may end with; a drive's root ("C:\\") keeps it.
std::string_view trimmed(std::string_view path) {
  while (path.size() > 3 && separator(path.back())) path.remove_suffix(1);
  return path;
}

// Compared in place, as if both were written with '\\' alone and in one case: this runs for
// every request, so nothing is copied.
bool inside(std::string_view path, std::string_view folder) {
  path = trimmed(path);
  folder = trimmed(folder);
  if (folder.empty() || path.size() < folder.size()) return false;
  for (std::size_t i = 0; i < folder.size(); ++i) {
    const char a = path[i];
    const char b = folder[i];
    if (!(separator(a) && separator(b)) && platform::text::lowerAscii(a) != platform::text::lowerAscii(b)) return false;
  }
  return path.size() == folder.size() || separator(path[folder.size()]) || separator(folder.back());
}

// A folder as its components name it: "." and empty components dropped, ".." taking the one
// before it, either separator read as '\\'. The settings may spell a folder so
// ("C:\\wwwroot\\\\gziplog", "C:\\wwwroot\\images\\..\\gziplog") while the server's paths are plain.
std::string components(std::string_view folder) {
  std::string out;
  std::size_t start = 0;
  while (start <= folder.size()) {
    std::size_t end = start;
    while (end < folder.size() && !separator(folder[end])) ++end;
    const std::string_view part = folder.substr(start, end - start);
    if (part == "..") {
      if (const std::size_t last = out.rfind('\\'); last != std::string::npos) out.resize(last);
    } else if (!part.empty() && part != ".") {
      if (!out.empty() || start > 0) out += '\\';
      out += part;
    }
    start = end + 1;
  }
  return out;
}

// Whether a folder needs components() before it compares with a server's path: empty or
// "." components, "..", or no drive (a path from the root of the site's drive).
bool unusual(std::string_view folder) {
  if (folder.size() < 3 || folder[1] != ':' || !separator(folder[2])) return !folder.empty();
  for (std::size_t i = 2; i + 1 < folder.size(); ++i)
    if (separator(folder[i]) && (separator(folder[i + 1]) || folder[i + 1] == '.')) return true;
  return false;
}

constexpr char kNotFoundPage[] =
    "<html><head><title>404 Not Found</title></head>\r\n<body><h1>404 Not Found</h1></body></html>\r\n";

}  // namespace

bool InsideFilterFolder(std::string_view path, const settings::SiteSettings& site) {
  const std::string_view root = site.RootPath.str();
  // A folder that holds the whole site (a log folder set to the root) hides nothing.
  auto hidden = [&](std::string_view folder) {
    if (!unusual(folder)) return inside(path, folder) && !inside(root, folder);
    std::string plain = components(folder);
    // Without a drive the folder lies on the drive of the site's root.
    if (plain.size() < 2 || plain[1] != ':') plain = std::string(root.substr(0, root.find(':') + 1)) + plain;
    return inside(path, plain) && !inside(root, plain);
  };
  return hidden(site.CacheFolder.str()) || hidden(site.LogFolder.str());
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
