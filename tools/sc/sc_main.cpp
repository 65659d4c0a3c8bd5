#include <iostream>

#include "tools/sc/sc_commands.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return tools::sc::run(args, std::cout);
}
