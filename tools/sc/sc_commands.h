#pragma once
// The `sc` tool: sc.exe's syntax and messages over the service control stand-in.
//   sc query NAME | sc start NAME | sc stop NAME | sc delete NAME
//   sc create NAME binPath= "<image and arguments>" [depend= A/B] [DisplayName= "<text>"]
// The exit code is 0 or the Win32 error of the failed call, as sc.exe's is.

#include <ostream>
#include <string>
#include <vector>

namespace tools::sc {

int run(const std::vector<std::string>& args, std::ostream& out);

}  // namespace tools::sc
