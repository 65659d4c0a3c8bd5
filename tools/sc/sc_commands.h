#pragma once
// The `sc` tool: sc.exe's syntax and messages over the service control stand-in.
//   sc query NAME | sc start NAME | sc stop NAME | sc delete NAME
//   sc create NAME binPath= "<image and arguments>" [depend= A/B] [DisplayName= "<text>"]
// The exit code is 0, or 1 with the Win32 error of the failed call printed (sc.exe returns the
// error itself, which does not fit an exit status here).

#include <ostream>
#include <string>
#include <vector>

namespace tools::sc {

int run(const std::vector<std::string>& args, std::ostream& out);

}  // namespace tools::sc
