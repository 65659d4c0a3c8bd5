#include "w3svc/exchange.h"

#include <algorithm>
#include <cctype>

#include "platform/text/ascii_case.h"

namespace w3svc {

const std::string* findHeader(const HeaderList& headers, std::string_view name) {
  for (const HeaderField& field : headers)
    if (platform::text::equalsNoCase(field.name, name)) return &field.value;
  return nullptr;
}

void setHeader(HeaderList& headers, std::string_view name, std::string_view value) {
  bool replaced = false;
  for (auto it = headers.begin(); it != headers.end();) {
    if (!platform::text::equalsNoCase(it->name, name)) {
      ++it;
    } else if (!value.empty() && !replaced) {
      it->value = std::string(value);
      replaced = true;
      ++it;
    } else {
      it = headers.erase(it);
    }
  }
  if (!value.empty() && !replaced) headers.push_back({std::string(name), std::string(value)});
}

std::string translatedPath(const SiteConfig& site, std::string_view urlPath) {
  std::string path;
  path.reserve(site.rootPath.size() + urlPath.size());
  path = site.rootPath;
  if (!path.empty() && path.back() == '\\') path.pop_back();
  const std::size_t start = path.size();
  path += urlPath;
  std::replace(path.begin() + static_cast<std::ptrdiff_t>(start), path.end(), '/', '\\');
  return path;
}

}  // namespace w3svc
