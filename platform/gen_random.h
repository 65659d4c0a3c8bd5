#pragma once
// Random bytes from the system's generator, as advapi32's RtlGenRandom (exported as
// SystemFunction036, declared by ntsecapi.h): good enough for secrets.

#include "platform/win_types.h"

#ifdef _WIN32
#include <windows.h>
#include <ntsecapi.h>
#else

using BOOLEAN = unsigned char;

// Fills length bytes of buffer; FALSE when the generator could not give them all.
BOOLEAN SystemFunction036(void* buffer, DWORD length) noexcept;
#define RtlGenRandom SystemFunction036

#endif  // _WIN32
