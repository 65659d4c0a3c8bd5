#include "w3svc/http_time.h"

#include <array>

namespace w3svc {

std::string httpDate(std::time_t when) {
  // A response names the current second and its file's time: both repeat from request to
  // request, so each thread keeps the last two it formatted.
  struct Formatted {
    std::time_t when = -1;
    std::string text;
  };
  thread_local Formatted recent[2];
  thread_local unsigned older = 0;
  for (const Formatted& entry : recent)
    if (entry.when == when) return entry.text;
  std::tm parts{};
  gmtime_r(&when, &parts);
  std::array<char, 64> text{};
  const std::size_t length = std::strftime(text.data(), text.size(), "%a, %d %b %Y %H:%M:%S GMT", &parts);
  Formatted& entry = recent[older];
  older ^= 1u;
  entry.when = when;
  entry.text.assign(text.data(), length);
  return entry.text;
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
