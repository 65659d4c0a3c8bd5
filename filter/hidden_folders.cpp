#include "filter/hidden_folders.h"
#include "platform/text/ascii_case.h"

#include <string>


namespace filter {

namespace {

std::string normalized(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (c == '/') c = '\\';
  while (out.size() > 3 && out.back() == '\\') out.pop_back();
  return out;
}

bool inside(const std::string& path, std::string_view folder) {
  const std::string base = normalized(folder);
  if (base.empty() || path.size() < base.size() || !platform::text::equalsNoCase(path.substr(0, base.size()), base))
    return false;
  return path.size() == base.size() || path[base.size()] == '\\' || base.back() == '\\';
}

constexpr char kNotFoundPage[] =
    "<html><head><title>404 Not Found</title></head>\r\n<body><h1>404 Not Found</h1></body></html>\r\n";

}  // namespace

bool InsideFilterFolder(std::string_view path, const settings::SiteSettings& site) {
  const std::string target = normalized(path);
  const std::string root = normalized(site.RootPath.str());
  // A folder that holds the whole site (a log folder set to the root) hides nothing.
  auto hidden = [&](std::string_view folder) { return inside(target, folder) && !inside(root, folder); };
  return hidden(site.CacheFolder.str()) || hidden(site.LogFolder.str());
}

void AnswerNotFound(HTTP_FILTER_CONTEXT* pfc) {
  const std::string headers = "Content-Type: text/html\r\nContent-Length: " + std::to_string(sizeof(kNotFoundPage) - 1) +
                              "\r\n\r\n";
  pfc->ServerSupportFunction(pfc, SF_REQ_SEND_RESPONSE_HEADER, const_cast<char*>("404 Not Found"),
                             reinterpret_cast<ULONG_PTR>(headers.c_str()), 0);
  DWORD bytes = sizeof(kNotFoundPage) - 1;
  pfc->WriteClient(pfc, const_cast<char*>(kNotFoundPage), &bytes, 0);
}

}  // namespace filter
