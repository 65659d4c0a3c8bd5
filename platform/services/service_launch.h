#pragma once
// Starting a service's image as a detached process (its own session, not a child of the
// caller) that holds the service's liveness lock for as long as it runs.

#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace platform::services {

constexpr const char* kServiceNameVar = "TAMSIC_SERVICE_NAME";
constexpr const char* kServiceLockVar = "TAMSIC_SERVICE_LOCK_FD";

// Splits an image path as Windows does: the program may be quoted, the arguments follow
// separated by blanks, a quoted argument keeps its blanks. A program given as a Windows
// path ("Z:\...") is mapped to its host path.
std::vector<std::string> splitImagePath(std::string_view imagePath);

// ERROR_SUCCESS, ERROR_SERVICE_ALREADY_RUNNING, or the error of the failed step. Output of
// the service goes to <root>/logs/<name>.log.
LONG launchDetached(std::string_view name, std::string_view imagePath);

}  // namespace platform::services
