#pragma once
// The Win32 base types, error codes and HRESULT helpers that the platform's stand-in APIs use.
// On a Windows build these come from <windows.h>; the stand-ins keep the same names and values
// so the system's code reads the same on both.

#ifdef _WIN32
#include <windows.h>
#else

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BOOL = int;
using UINT = unsigned int;
using WCHAR = char16_t;  // UTF-16 code unit, as on Windows (wchar_t is 32-bit here)
using HRESULT = std::int32_t;
using LPCSTR = const char*;
using LPSTR = char*;
using LPCWSTR = const WCHAR*;
using LPWSTR = WCHAR*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;

// The calling conventions of the Windows API, of the exports a host calls, of COM methods
// and of window and dialog procedures (stdcall on 32-bit Windows); the host here has one
// convention only.
#define WINAPI
#define STDMETHODCALLTYPE
#define CALLBACK

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

constexpr DWORD MAX_PATH = 260;

// DllMain's reason when a module is first loaded into a process.
constexpr DWORD DLL_PROCESS_ATTACH = 1;
constexpr DWORD INFINITE = 0xFFFFFFFF;

// Win32 error codes (the subset the stand-ins report).
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_PATH_NOT_FOUND = 3;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_INVALID_DRIVE = 15;
constexpr LONG ERROR_NO_MORE_FILES = 18;
constexpr LONG ERROR_SHARING_VIOLATION = 32;
constexpr LONG ERROR_FILE_EXISTS = 80;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_INVALID_DATA = 13;
constexpr LONG ERROR_INSUFFICIENT_BUFFER = 122;
constexpr LONG ERROR_DIR_NOT_EMPTY = 145;
constexpr LONG ERROR_ALREADY_EXISTS = 183;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_KEY_DELETED = 1018;
constexpr LONG ERROR_CHILD_MUST_BE_VOLATILE = 1021;
constexpr LONG ERROR_INVALID_INDEX = 1413;
constexpr LONG ERROR_TIMEOUT = 1460;

// Thread-local last error, as GetLastError/SetLastError.
DWORD GetLastError() noexcept;
void SetLastError(DWORD code) noexcept;

// The processor the calling thread runs on now (it may move at any time after).
DWORD GetCurrentProcessorNumber() noexcept;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr HRESULT HRESULT_FROM_WIN32(LONG code) {
  return code <= 0 ? static_cast<HRESULT>(code)
                   : static_cast<HRESULT>((static_cast<DWORD>(code) & 0xFFFF) | 0x80070000u);
}

#endif
