// The markup optimizer on any HTML or CSS: no crash, no read past the body, and a result
// that is strictly shorter than the body or nothing.

#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "optimizer/optimizer_driver.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::useTemporaryMachine();  // style sheets a page names are looked up on its C: drive
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::Input input(data, size);
  const std::size_t flags = input.number(64);
  optimizer::Switches switches{(flags & 1) != 0, (flags & 2) != 0, (flags & 4) != 0, (flags & 8) != 0,
                               (flags & 16) != 0};
  const char* path = (flags & 32) ? "C:\\Inetpub\\wwwroot\\style.css" : "C:\\Inetpub\\wwwroot\\page.htm";
  // An exact-size copy, so that a read past the body's end is caught.
  const std::string body(input.rest().data(), input.rest().size());
  const std::size_t before = body.size();
  if (auto out = optimizer::OptimizeBody(body, path, "C:\\Inetpub\\wwwroot", switches)) {
    if (out->size() >= before) std::abort();
  }
  return 0;
}
