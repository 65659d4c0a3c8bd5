#include "w3svc/server_variables.h"
#include "platform/text/ascii_case.h"
#include "w3svc/request_checks.h"

#include <cctype>

namespace w3svc {

namespace {

std::string serverName(const Request& request) {
  if (const std::string* host = findHeader(request.headers, "Host"); host && !host->empty())
    return std::string(hostName(*host));
  return request.localAddress;
}

// True when the header field is the one HTTP_<rest> names: '-' read as '_', any case.
bool namesHeader(std::string_view field, std::string_view rest) {
  if (field.size() != rest.size()) return false;
  for (std::size_t i = 0; i < field.size(); ++i)
    if ((field[i] == '-' ? '_' : platform::text::upperAscii(field[i])) != platform::text::upperAscii(rest[i]))
      return false;
  return true;
}

}  // namespace

std::string httpVariableName(std::string_view header) {
  std::string name = "HTTP_";
  for (char c : header) name += c == '-' ? '_' : platform::text::upperAscii(c);
  return name;
}

std::optional<std::string> serverVariable(const Request& request, std::string_view name) {
  // Filters ask for several on every request: the name is compared as it comes.
  const auto is = [name](std::string_view wanted) { return platform::text::equalsNoCase(name, wanted); };
  const SiteConfig* site = request.site;
  if (is("URL") || is("PATH_INFO") || is("SCRIPT_NAME")) return request.url.path;
  if (is("QUERY_STRING")) return request.url.query;
  if (is("REQUEST_METHOD")) return request.method;
  if (is("INSTANCE_META_PATH")) return site ? "/LM/W3SVC/" + std::to_string(site->id) : std::string();
  if (is("INSTANCE_ID")) return site ? std::to_string(site->id) : std::string();
  if (is("PATH_TRANSLATED")) return site ? translatedPath(*site, request.url.path) : std::string();
  if (is("APPL_PHYSICAL_PATH")) return site ? site->rootPath + "\\" : std::string();
  if (is("SERVER_NAME")) return serverName(request);
  if (is("SERVER_PORT")) return std::to_string(request.localPort);
  if (is("SERVER_PORT_SECURE")) return std::string("0");
  if (is("HTTPS")) return std::string("off");
  if (is("SERVER_PROTOCOL")) return std::string(request.version == 10 ? "HTTP/1.0" : "HTTP/1.1");
  if (is("SERVER_SOFTWARE")) return std::string(kServerSoftware);
  if (is("GATEWAY_INTERFACE")) return std::string("CGI/1.1");
  if (is("REMOTE_ADDR") || is("REMOTE_HOST")) return request.remoteAddress;
  if (is("REMOTE_PORT")) return std::to_string(request.remotePort);
  if (is("LOCAL_ADDR")) return request.localAddress;
  if (is("CONTENT_LENGTH")) {
    if (const std::string* length = findHeader(request.headers, "Content-Length")) return *length;
    return std::to_string(request.body.size());
  }
  if (is("CONTENT_TYPE")) {
    const std::string* type = findHeader(request.headers, "Content-Type");
    return type ? *type : std::string();
  }
  if (is("ALL_HTTP")) {
    std::string all;
    for (const HeaderField& field : request.headers) all += httpVariableName(field.name) + ":" + field.value + "\n";
    return all;
  }
  if (is("ALL_RAW")) {
    std::string all;
    for (const HeaderField& field : request.headers) all += field.name + ": " + field.value + "\r\n";
    return all;
  }
  if (name.size() >= 5 && platform::text::equalsNoCase(name.substr(0, 5), "HTTP_")) {
    std::string joined;
    bool found = false;
    const std::string_view rest = name.substr(5);
    for (const HeaderField& field : request.headers) {
      if (!namesHeader(field.name, rest)) continue;
      if (found) joined += ", ";
      joined += field.value;
      found = true;
    }
    if (found) return joined;
  }
  return std::nullopt;
}

}  // namespace w3svc
