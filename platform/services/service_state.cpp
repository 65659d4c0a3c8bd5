#include "platform/services/service_state.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <fstream>

#include "platform/machine_root.h"

namespace platform::services {

namespace {

// Service names are case-insensitive; their files use one spelling.
std::string fileStem(std::string_view name) {
  std::string stem = "service-";
  for (char c : name) stem += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return stem;
}

bool someoneHoldsLock(std::string_view name) {
  const int fd = ::open(serviceLockFile(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  ::close(fd);  // also drops the lock if we just took it
  return held;
}

}  // namespace

std::filesystem::path serviceLockFile(std::string_view name) {
  return machineRootPath() / "run" / (fileStem(name) + ".lock");
}

std::filesystem::path serviceStateFile(std::string_view name) {
  return machineRootPath() / "run" / (fileStem(name) + ".state");
}

void writeRecordedState(std::string_view name, const RecordedState& state) {
  // Written aside and renamed, so a reader never sees half a line.
  const std::filesystem::path file = serviceStateFile(name);
  std::filesystem::path temporary = file;
  temporary += "." + std::to_string(::getpid()) + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << state.state << ' ' << state.pid << '\n';
  }
  std::error_code ec;
  std::filesystem::rename(temporary, file, ec);
  if (ec) std::filesystem::remove(temporary, ec);
}

RecordedState currentState(std::string_view name) {
  if (!someoneHoldsLock(name)) return RecordedState{};
  RecordedState recorded{2, 0};  // alive but not yet reported: starting
  std::ifstream in(serviceStateFile(name));
  DWORD state = 0;
  long pid = 0;
  if (in >> state >> pid && state >= 2 && state <= 4) {
    recorded.state = state;
    recorded.pid = static_cast<pid_t>(pid);
  } else if (state == 1 && pid > 0) {
    // Reported stopped and still tearing down: stopping, not starting. A start writes its
    // own line ("2 0") as soon as it holds the lock.
    recorded.state = 3;
    recorded.pid = static_cast<pid_t>(pid);
  }
  return recorded;
}

}  // namespace platform::services
