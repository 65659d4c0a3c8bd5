#pragma once
// The folder that holds one emulated machine: registry.db, metabase.db, dosdevices/ (drive
// letters), drive_c/, run/ (service state, named-mutex lock files) and logs/.
//
// Every program finds it the same way: the environment variable TAMSIC_MACHINE, else
// $HOME/.local/share/tamsic/machine (or /var/lib/tamsic/machine without HOME). A root that
// is missing or empty is laid out fresh on first use, so any tool works on a new folder.

#include <filesystem>
#include <string>

namespace platform {

constexpr const char* kMachineEnvVar = "TAMSIC_MACHINE";

// The root named by the environment (not checked, not created).
std::filesystem::path machineRootPath();
// The same as text, for paths built on every request without parsing them.
std::string machineRootText();
// The same, added to out: a path built on it takes one allocation when out has the room.
void appendMachineRoot(std::string& out);

// The root, laid out fresh if it is missing or empty. Safe against several processes
// preparing the same new root at once. Fails (empty path, error filled) when the folder
// cannot be created.
std::filesystem::path ensureMachineRoot(std::string& error);

}  // namespace platform
