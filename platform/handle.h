#pragma once
// Kernel object handles (HANDLE) of the stand-ins: named mutexes and find handles. A
// handle owns its object; CloseHandle (or FindClose for searches) destroys it.

#include <memory>

#include "platform/unique_resource.h"
#include "platform/win_types.h"

#ifdef _WIN32
#include <windows.h>
#else

struct KernelObject {
  virtual ~KernelObject() = default;
};
using HANDLE = KernelObject*;
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

BOOL CloseHandle(HANDLE handle) noexcept;

#endif  // _WIN32

// Owner of a HANDLE; INVALID_HANDLE_VALUE (what a failed FindFirstFileA gives) holds
// nothing.
class UniqueHandle : public UniqueResource<HANDLE, &CloseHandle> {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : UniqueResource(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
};
