#pragma once
// The DLL's process-wide state: its instance handle and the counts that decide whether it
// may be unloaded. The counts change only through atomic increments and decrements.

#include <atomic>

#include "platform/com/com.h"
#include "platform/ui/win_user.h"

namespace console {

// The extension's class, {5D3A81C4-7E20-4B9F-9C61-2F04B8E7A913}.
constexpr CLSID CLSID_TamsicExtension = {0x5D3A81C4, 0x7E20, 0x4B9F, {0x9C, 0x61, 0x2F, 0x04, 0xB8, 0xE7, 0xA9, 0x13}};

HINSTANCE moduleInstance();

// Live class factories and extension objects.
extern std::atomic<long> g_objectCount;
// LockServer's count.
extern std::atomic<long> g_lockCount;

}  // namespace console
