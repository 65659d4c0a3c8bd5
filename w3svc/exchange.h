#pragma once
// One request and its response as the server and its filters see them.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "w3svc/server_config.h"
#include "w3svc/url_canon.h"

namespace w3svc {

struct HeaderField {
  std::string name;
  std::string value;
};
using HeaderList = std::vector<HeaderField>;

const std::string* findHeader(const HeaderList& headers, std::string_view name);
// Replaces the first field of that name (removing the others) or appends it; an empty
// value removes every field of that name.
void setHeader(HeaderList& headers, std::string_view name, std::string_view value);

struct Request {
  std::string method;
  std::string target;  // as filters read "url": the canonical path and "?query" if any
  CanonicalUrl url;
  unsigned version = 11;  // 10 or 11
  HeaderList headers;
  std::string body;
  std::string remoteAddress;
  std::uint16_t remotePort = 0;
  std::string localAddress;
  std::uint16_t localPort = 0;
  const SiteConfig* site = nullptr;
};

struct Response {
  unsigned status = 200;
  std::string reason = "OK";
  HeaderList headers;
};

// The Windows path of a URL path below a site's home directory.
std::string translatedPath(const SiteConfig& site, std::string_view urlPath);

}  // namespace w3svc
