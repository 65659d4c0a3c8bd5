#include "w3svc/exchange.h"

#include <cctype>

namespace w3svc {

bool sameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

const std::string* findHeader(const HeaderList& headers, std::string_view name) {
  for (const HeaderField& field : headers)
    if (sameText(field.name, name)) return &field.value;
  return nullptr;
}

void setHeader(HeaderList& headers, std::string_view name, std::string_view value) {
  bool replaced = false;
  for (auto it = headers.begin(); it != headers.end();) {
    if (!sameText(it->name, name)) {
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
  std::string path = site.rootPath;
  if (!path.empty() && path.back() == '\\') path.pop_back();
  for (char c : urlPath) path += c == '/' ? '\\' : c;
  return path;
}

}  // namespace w3svc
