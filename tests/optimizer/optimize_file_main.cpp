// Optimises one HTML or CSS file as the filter would (all switches on) and writes the
// result, or the file unchanged when the optimizer declines. Used by the parser check.

#include <fstream>
#include <iostream>
#include <sstream>

#include "optimizer/optimizer_driver.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: optimize_file INPUT OUTPUT\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream body;
  body << in.rdbuf();
  filter::ResponseState state;
  state.body = body.str();
  state.physicalPath = "C:\\site\\page.htm";
  auto out = optimizer::OptimizeBody(state, "C:\\site", optimizer::Switches{});
  std::ofstream(argv[2], std::ios::binary) << (out ? *out : state.body);
  std::cout << state.body.size() << " -> " << (out ? out->size() : state.body.size()) << " bytes\n";
  return 0;
}
