#pragma once
// The version of the operating system, as GetVersionExA reports it. The stand-in machine
// is Windows 2000 (5.0, build 2195), the system IIS 5 runs on.

#include "platform/win_types.h"

#ifdef _WIN32
#include <windows.h>
#else

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  char szCSDVersion[128];
};
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

// Fails with ERROR_INVALID_PARAMETER unless dwOSVersionInfoSize is set to the structure's size.
BOOL GetVersionExA(OSVERSIONINFOA* info) noexcept;

#endif  // _WIN32
