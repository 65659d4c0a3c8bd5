// hostprep: the setup helper. Carries out one command and ends, with no output; the exit
// code is 0, or the number of sites for command 6.

#include "setup/command_line.h"
#include "setup/hostprep_commands.h"

int main(int argc, char** argv) {
  return setup::RunHostprep(setup::ParseCommandLine(setup::RawCommandLine(argc, argv)));
}
