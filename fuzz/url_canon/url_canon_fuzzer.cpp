// URL canonicalisation: whatever the target, an accepted path starts at the home directory,
// never climbs out of it and holds no control character.

#include <cstdlib>

#include "w3svc/url_canon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view target(reinterpret_cast<const char*>(data), size);
  const w3svc::CanonicalUrl url = w3svc::canonicalizeUrl(target);
  if (url.status != 0) return 0;
  if (url.path.empty() || url.path.front() != '/') std::abort();
  if (url.path.find("//") != std::string::npos) std::abort();
  if (url.path.find("/../") != std::string::npos || url.path.ends_with("/..") || url.path.find('\\') != std::string::npos)
    std::abort();
  for (char c : url.path)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) std::abort();
  // Canonical text is a fixed point (a decoded '%' or '?' would be read again as an escape
  // or a query, so such paths are not fed back).
  if (url.path.find_first_of("%?") == std::string::npos) {
    const w3svc::CanonicalUrl again = w3svc::canonicalizeUrl(url.path);
    if (again.status != 0 || again.path != url.path) std::abort();
  }
  return 0;
}
