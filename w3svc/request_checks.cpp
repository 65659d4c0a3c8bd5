#include "w3svc/request_checks.h"
#include "platform/text/ascii_case.h"

#include <cctype>

namespace w3svc {

namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// An empty port after the colon is allowed and means the scheme's own.
bool validPort(std::string_view port) {
  if (port.size() > 5) return false;
  unsigned value = 0;
  for (char c : port) {
    if (!isDigit(c)) return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value <= 65535;
}

}  // namespace

bool hasFoldedLine(std::string_view rawHeader) {
  for (std::size_t at = rawHeader.find('\n'); at != std::string_view::npos; at = rawHeader.find('\n', at + 1)) {
    if (at + 1 < rawHeader.size() && (rawHeader[at + 1] == ' ' || rawHeader[at + 1] == '\t')) return true;
  }
  return false;
}

unsigned checkRequestHeader(const HeaderList& headers, unsigned version) {
  unsigned chunked = 0;
  unsigned hosts = 0;
  bool codings = false;
  bool unknownCoding = false;
  for (const HeaderField& field : headers) {
    if (platform::text::equalsNoCase(field.name, "Host")) {
      ++hosts;
      if (!validHostField(trimmed(field.value))) return 400;
      continue;
    }
    if (!platform::text::equalsNoCase(field.name, "Transfer-Encoding")) continue;
    codings = true;
    // Empty list elements are allowed and mean nothing; every coding but chunked is one
    // the server cannot undo, and a body whose end it cannot find would be read as the
    // next request.
    std::string_view rest = field.value;
    while (true) {
      const std::size_t comma = rest.find(',');
      const std::string_view coding = trimmed(rest.substr(0, comma));
      if (platform::text::equalsNoCase(coding, "chunked")) {
        ++chunked;
      } else if (!coding.empty()) {
        unknownCoding = true;
      }
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }
  if (unknownCoding) return 501;
  if (codings && chunked != 1) return 400;
  // Two Hosts could route one request to two sites; HTTP/1.1 requires one. An HTTP/1.0
  // request without one is routed by the address it came in on.
  if (hosts > 1 || (version == 11 && hosts == 0)) return 400;
  return 0;
}

bool validHostField(std::string_view host) {
  std::string_view name = host;
  if (!host.empty() && host.front() == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string_view::npos || close < 3) return false;
    for (char c : host.substr(1, close - 1))
      if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
    const std::string_view after = host.substr(close + 1);
    return after.empty() || (after.front() == ':' && validPort(after.substr(1)));
  }
  if (const std::size_t colon = host.rfind(':'); colon != std::string_view::npos) {
    if (!validPort(host.substr(colon + 1))) return false;
    name = host.substr(0, colon);
    if (name.empty()) return false;
  }
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_' && c != '~') return false;
  return true;
}

std::string_view hostName(std::string_view host) {
  const std::size_t colon = host.rfind(':');
  if (colon == std::string_view::npos || host.find(']', colon) != std::string_view::npos) return host;
  if (!host.empty() && host.front() == '[' && host.rfind(']', colon) == std::string_view::npos) return host;
  return host.substr(0, colon);
}

}  // namespace w3svc
