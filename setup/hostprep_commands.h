#pragma once
// hostprep's commands, chosen by the first argument: a digit from 1 to 9 alone selects one
// of the numbered commands, anything else names a filter to install (with a description or
// DLL path) or remove. Returns the exit code: 0, or the site count for command 6.

#include "setup/command_line.h"

namespace setup {

int RunHostprep(const HostprepArguments& args);

// Stops the web service, registers the filter, and restarts it unless option is "OFF".
void InstallFilter(const std::string& name, const std::string& description, const std::string& dllPath,
                   const std::string& option);
// Unregisters the filter and restarts both services.
void RemoveFilter(const std::string& name);

}  // namespace setup
