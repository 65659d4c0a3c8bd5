#pragma once
// The Windows registry API (the ANSI subset the system uses), backed by the machine root's
// registry.db. Key and value names are case-insensitive and case-preserving; values
// enumerate in creation order (rewriting keeps the place), sub-keys in case-insensitive name
// order. Data is kept byte for byte as the writer gave it. Every call is thread-safe and
// several processes may use the same machine at once.
//
// HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\SOFTWARE\Classes, as on Windows.

#include "platform/registry/security_descriptor.h"
#include "platform/win_types.h"

// Longest key name component and value name, in characters, as on Windows.
constexpr DWORD kMaxRegKeyNameChars = 255;
constexpr DWORD kMaxRegValueNameChars = 16383;

#ifdef _WIN32
#include <windows.h>
#else

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;

inline const HKEY HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u));
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u));

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  void* lpSecurityDescriptor;
  BOOL bInheritHandle;
};


LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) noexcept;
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                     REGSAM access, const SECURITY_ATTRIBUTES* security, PHKEY result,
                     LPDWORD disposition) noexcept;
LONG RegCloseKey(HKEY key) noexcept;

// data null with size non-null: reports the size. Short buffer: ERROR_MORE_DATA, *size = need.
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD size) noexcept;
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size) noexcept;
LONG RegDeleteValueA(HKEY key, LPCSTR valueName) noexcept;

// nameChars: in, the buffer's size in characters with the terminator; out, the name's
// length without it. ERROR_NO_MORE_ITEMS past the last entry.
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD dataSize) noexcept;
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD reserved,
                   LPSTR keyClass, LPDWORD classChars, FILETIME* lastWrite) noexcept;
LONG RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classChars, LPDWORD reserved,
                      LPDWORD subKeys, LPDWORD maxSubKeyChars, LPDWORD maxClassChars,
                      LPDWORD values, LPDWORD maxValueNameChars, LPDWORD maxValueBytes,
                      LPDWORD securityBytes, FILETIME* lastWrite) noexcept;

// Deletes a key without sub-keys (ERROR_ACCESS_DENIED while it has any, as on Windows).
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) noexcept;
// Deletes a key with everything below it.
LONG RegDeleteTreeA(HKEY key, LPCSTR subKey) noexcept;

// Fills *sd (size bytes) with the descriptor the key was created with.
LONG RegGetKeySecurity(HKEY key, DWORD information, PSECURITY_DESCRIPTOR sd, LPDWORD size) noexcept;

#endif  // _WIN32
