// The filter's chunked decoder: any captured text decodes without reading past it, and the
// body it gives is never longer than what it was given.

#include <cstdlib>
#include <string>

#include "filter/chunked_body.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A copy of exactly the input's size, so that a read past it is caught.
  const std::string captured(reinterpret_cast<const char*>(data), size);
  std::string body;
  filter::DecodeChunked(captured, body);
  if (body.size() > captured.size()) std::abort();
  return 0;
}
