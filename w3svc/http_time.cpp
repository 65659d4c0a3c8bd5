#include "w3svc/http_time.h"

#include <array>

namespace w3svc {

std::string httpDate(std::time_t when) {
  std::tm parts{};
  gmtime_r(&when, &parts);
  std::array<char, 64> text{};
  const std::size_t length = std::strftime(text.data(), text.size(), "%a, %d %b %Y %H:%M:%S GMT", &parts);
  return std::string(text.data(), length);
}

std::optional<std::time_t> parseHttpDateHeader(std::string_view text) {
  // strptime's %a/%b read English names in the C locale the server runs in.
  const std::string copy(text.substr(0, 64));
  for (const char* format : {"%a, %d %b %Y %H:%M:%S GMT", "%A, %d-%b-%y %H:%M:%S GMT", "%a %b %e %H:%M:%S %Y"}) {
    std::tm parts{};
    const char* end = strptime(copy.c_str(), format, &parts);
    if (end && *end == '\0') return timegm(&parts);
  }
  return std::nullopt;
}

}  // namespace w3svc
