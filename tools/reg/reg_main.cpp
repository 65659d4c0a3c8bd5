#include <iostream>

#include "tools/reg/reg_commands.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return tools::reg::run(args, std::cin, std::cout, std::cerr);
}
