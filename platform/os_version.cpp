#include "platform/os_version.h"

#include <cstdio>

BOOL GetVersionExA(OSVERSIONINFOA* info) noexcept {
  if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  info->dwMajorVersion = 5;
  info->dwMinorVersion = 0;
  info->dwBuildNumber = 2195;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  std::snprintf(info->szCSDVersion, sizeof(info->szCSDVersion), "%s", "Service Pack 4");
  return TRUE;
}
