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
  const std::string text = body.str();
  auto out = optimizer::OptimizeBody(text, "C:\\site\\page.htm", "C:\\site", optimizer::Switches{});
  std::ofstream(argv[2], std::ios::binary) << (out ? *out : text);
  std::cout << text.size() << " -> " << (out ? out->size() : text.size()) << " bytes\n";
  return 0;
}
