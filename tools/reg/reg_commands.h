#pragma once
// The `reg` tool: query, add, delete, export and import with the syntax of Windows'
// reg.exe, over the registry of the machine root. Returns the exit code (0 or 1).

#include <iosfwd>
#include <string>
#include <vector>

namespace tools::reg {

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace tools::reg
