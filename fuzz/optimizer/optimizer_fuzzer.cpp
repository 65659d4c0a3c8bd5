// The markup optimizer on any HTML or CSS: no crash, no read past the body, and a result
// that is strictly shorter than the body or nothing.

#include <cstdlib>

#include "filter/request_state.h"
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
  filter::ResponseState state;
  state.physicalPath = (flags & 32) ? "C:\\Inetpub\\wwwroot\\style.css" : "C:\\Inetpub\\wwwroot\\page.htm";
  state.body.assign(input.rest().data(), input.rest().size());
  state.body.shrink_to_fit();
  state.bodyLength = static_cast<std::int32_t>(state.body.size());
  const std::size_t before = state.body.size();
  if (auto out = optimizer::OptimizeBody(state, "C:\\Inetpub\\wwwroot", switches)) {
    if (out->size() >= before) std::abort();
  }
  return 0;
}
