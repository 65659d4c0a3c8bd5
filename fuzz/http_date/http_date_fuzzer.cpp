// The HTTP date parsers of the cache and of the web server: a date they accept prints back
// as a date they accept.

#include <cstdlib>

#include "compress/http_date.h"
#include "w3svc/http_time.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto when = compression::ParseHttpTime(text)) {
    if (!compression::ParseHttpTime(compression::FormatHttpDate(*when))) std::abort();
  }
  compression::ParseHttpDate(text);
  if (auto when = w3svc::parseHttpDateHeader(text)) {
    if (*when > -62135596800 && *when < 253402300799 && !w3svc::parseHttpDateHeader(w3svc::httpDate(*when)))
      std::abort();
  }
  return 0;
}
