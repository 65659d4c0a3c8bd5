#pragma once
// Machine-wide named mutexes, as CreateMutexA/WaitForSingleObject/ReleaseMutex: every
// process of the same machine root that names the same mutex shares it. Ownership is per
// thread and recursive, as on Windows; a holder that dies releases it (the lock is an flock
// on <root>/run/mutex-<name>.lock, which the kernel drops with the process), and the next
// wait returns WAIT_ABANDONED: it owns the mutex, whose data may be half written.

#include "platform/handle.h"
#include "platform/registry/registry.h"  // SECURITY_ATTRIBUTES

#ifdef _WIN32
#include <windows.h>
#else

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_TIMEOUT = 0x102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr LONG ERROR_NOT_OWNER = 288;

// A name is required (unnamed mutexes are not machine-wide and the system uses none).
// GetLastError() is ERROR_ALREADY_EXISTS when this process had opened it before.
HANDLE CreateMutexA(SECURITY_ATTRIBUTES* security, BOOL initialOwner, LPCSTR name) noexcept;
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) noexcept;
BOOL ReleaseMutex(HANDLE handle) noexcept;

#endif  // _WIN32
