#include <sched.h>

#include "platform/win_types.h"

DWORD GetCurrentProcessorNumber() noexcept {
  const int cpu = sched_getcpu();
  return cpu < 0 ? 0 : static_cast<DWORD>(cpu);
}
