#include "platform/handle.h"

BOOL CloseHandle(HANDLE handle) noexcept {
  if (!handle || handle == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete handle;
  return TRUE;
}
