// hostprep: the setup helper. Carries out one command and ends, with no output; the exit
// code is 0, or the number of sites for command 6.

#ifdef _WIN32
#include <windows.h>
#endif

#include "setup/command_line.h"
#include "setup/hostprep_commands.h"

int main(int argc, char** argv) {
#ifdef _WIN32
  // The arguments are read from the text Windows hands over: the C runtime's argv takes a
  // '\' before a '"' as an escape and folds runs of blanks, which the command's own rules
  // do not ("C:\path\" and an empty argument between two spaces).
  (void)argc;
  (void)argv;
  return setup::RunHostprep(setup::ParseCommandLine(setup::TextAfterProgramName(GetCommandLineA())));
#else
  return setup::RunHostprep(setup::ParseCommandLine(setup::RawCommandLine(argc, argv)));
#endif
}
