#pragma once
// Grants a local account write access to a folder, adding to its access list and keeping
// every permission already there (what "cacls <folder> /E /G <account>:w" does on Windows).
// Here: a POSIX ACL entry for the host user of that name, on the folder and as the default
// for what is created inside it. No command interpreter is involved, so no folder or account
// name can be taken for a command.

#include <string_view>

namespace platform::fs {

enum class GrantResult {
  kGranted,
  kNoSuchAccount,  // no host user has that name: nothing to grant
  kFailed,         // the folder is missing or its access list cannot be changed
};

// account may carry a domain ("MACHINE\IUSR_X"): the part after the last '\' names the user.
GrantResult grantWriteAccess(std::string_view windowsFolder, std::string_view account);

}  // namespace platform::fs
