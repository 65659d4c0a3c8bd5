// Statistics lines: any logged response writes one line that reads back with its URL and
// sizes, and reading any text never fails hard.

#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "stats/page_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::Input input(data, size);
  stats::LoggedResponse response;
  response.bodyLength = 1 + static_cast<long long>(input.number(250)) * 100;
  response.sentLength = 1 + static_cast<long long>(input.number(250));
  response.acceptedEncoding = static_cast<int>(input.number(3));
  response.servedFromCache = input.number(2) == 1;
  response.contentType = std::string(input.until('\n'));
  const std::string mask(input.until('\n'));
  response.url = std::string(input.rest().substr(0, 511));
  const std::string line = stats::formatPageLine(response, mask);
  if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) std::abort();
  const std::string_view body = std::string_view(line).substr(0, line.size() - 2);
  if (body.find_first_of("\r\n") != std::string_view::npos) std::abort();
  if (!response.url.empty()) {
    const auto parsed = stats::parsePageLine(body, mask);
    if (!parsed || parsed->compressedSize != response.sentLength) std::abort();
  }
  stats::parsePageLine(input.rest(), mask);
  return 0;
}
