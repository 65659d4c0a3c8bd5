#include "platform/services/service_runtime.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/services/service_launch.h"
#include "platform/services/service_state.h"

namespace platform::services {

ServiceRuntime ServiceRuntime::fromEnvironment() {
  ServiceRuntime runtime;
  const char* name = std::getenv(kServiceNameVar);
  const char* lock = std::getenv(kServiceLockVar);
  if (!name || !*name || !lock) return runtime;
  const int fd = std::atoi(lock);
  // The lock must stay with this process only: CGI programs and other children would
  // otherwise keep the service "alive" after it ended.
  if (fd < 0 || ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) return runtime;
  runtime.name_ = name;
  ::unsetenv(kServiceNameVar);
  ::unsetenv(kServiceLockVar);
  return runtime;
}

void ServiceRuntime::reportState(DWORD state) const {
  if (!isService()) return;
  writeRecordedState(name_, RecordedState{state, ::getpid()});
}

}  // namespace platform::services
