#include "platform/gen_random.h"

#include <sys/random.h>

#include <cerrno>

BOOLEAN SystemFunction036(void* buffer, DWORD length) noexcept {
  auto* out = static_cast<unsigned char*>(buffer);
  DWORD done = 0;
  // getrandom gives at most 32 MB per call and may stop early on a signal.
  while (done < length) {
    const ssize_t got = getrandom(out + done, length - done, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return FALSE;
    }
    done += static_cast<DWORD>(got);
  }
  return TRUE;
}
