#include <iostream>

#include "tools/adsutil/adsutil_commands.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return tools::adsutil::run(args, std::cout, std::cerr);
}
