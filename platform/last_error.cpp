#include "platform/win_types.h"

namespace {
thread_local DWORD t_last_error = 0;
}

DWORD GetLastError() noexcept { return t_last_error; }
void SetLastError(DWORD code) noexcept { t_last_error = code; }
