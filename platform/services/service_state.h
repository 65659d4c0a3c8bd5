#pragma once
// Where a service's state lives under <root>/run/ and how it is read: shared by the manager
// and the service process. A service is alive exactly while some process holds the lock
// file, so a crash reads as STOPPED without anyone cleaning up.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace platform::services {

struct RecordedState {
  DWORD state = 1;  // SERVICE_STOPPED
  pid_t pid = 0;
};

std::filesystem::path serviceLockFile(std::string_view name);
std::filesystem::path serviceStateFile(std::string_view name);
void writeRecordedState(std::string_view name, const RecordedState& state);
// STOPPED whenever no process holds the lock, whatever the file says.
RecordedState currentState(std::string_view name);

}  // namespace platform::services
