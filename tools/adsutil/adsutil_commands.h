#pragma once
// The `adsutil` tool: get, set, enum, delete, create and create_vserv over the machine's
// metabase, with the verbs, paths ("W3SVC/1/ServerComment") and output of IIS's
// administration script. Returns the exit code (0 or 1).

#include <iosfwd>
#include <string>
#include <vector>

namespace tools::adsutil {

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tools::adsutil
