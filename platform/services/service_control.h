#pragma once
// The service control manager: services named in the registry under
// HKLM\SYSTEM\CurrentControlSet\Services\<name> ("ImagePath", "DependOnService",
// "DisplayName"), started detached from the caller, stopped by the stop control, their
// state kept under <root>/run/. The Win32 names and values, so a Windows build uses the real
// calls. Every call sets the last error on failure.

#include "platform/handle.h"
#include "platform/win_types.h"

#ifdef _WIN32
#include <windows.h>
#else

using SC_HANDLE = KernelObject*;

constexpr DWORD SC_MANAGER_CONNECT = 0x0001;
constexpr DWORD SC_MANAGER_CREATE_SERVICE = 0x0002;
constexpr DWORD SC_MANAGER_ENUMERATE_SERVICE = 0x0004;
constexpr DWORD SC_MANAGER_ALL_ACCESS = 0xF003F;

constexpr DWORD SERVICE_QUERY_CONFIG = 0x0001;
constexpr DWORD SERVICE_CHANGE_CONFIG = 0x0002;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_ENUMERATE_DEPENDENTS = 0x0008;
constexpr DWORD SERVICE_START = 0x0010;
constexpr DWORD SERVICE_STOP = 0x0020;
constexpr DWORD SERVICE_DELETE = 0x10000;  // DELETE
constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;

constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;
constexpr DWORD SERVICE_WIN32_SHARE_PROCESS = 0x20;
constexpr DWORD SERVICE_AUTO_START = 2;
constexpr DWORD SERVICE_DEMAND_START = 3;
constexpr DWORD SERVICE_ERROR_NORMAL = 1;

constexpr DWORD SERVICE_CONTROL_STOP = 1;
constexpr DWORD SERVICE_CONTROL_INTERROGATE = 4;
constexpr DWORD SERVICE_ACCEPT_STOP = 1;

constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;

constexpr LONG ERROR_DEPENDENT_SERVICES_RUNNING = 1051;
constexpr LONG ERROR_INVALID_SERVICE_CONTROL = 1052;
constexpr LONG ERROR_SERVICE_ALREADY_RUNNING = 1056;
constexpr LONG ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr LONG ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
constexpr LONG ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr LONG ERROR_SERVICE_DEPENDENCY_FAIL = 1068;
constexpr LONG ERROR_SERVICE_EXISTS = 1073;
constexpr LONG ERROR_INVALID_NAME = 123;

struct SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
};

SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access) noexcept;
SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) noexcept;
// dependencies: names each ended by '\0', the list ended by another '\0' (or nullptr).
SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access, DWORD serviceType,
                         DWORD startType, DWORD errorControl, LPCSTR binaryPath, LPCSTR loadOrderGroup, LPDWORD tagId,
                         LPCSTR dependencies, LPCSTR account, LPCSTR password) noexcept;
BOOL DeleteService(SC_HANDLE service) noexcept;
// Starts the services it depends on first, then the image detached from the caller; returns
// once the process is on its way (state START_PENDING until it reports RUNNING).
BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv) noexcept;
BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) noexcept;
BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) noexcept;
BOOL CloseServiceHandle(SC_HANDLE handle) noexcept;

#endif  // _WIN32
