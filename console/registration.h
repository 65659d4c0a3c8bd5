#pragma once
// Self-registration: the COM class, the snap-in entry and the property-sheet extension of the
// IIS manager's web-site node; and the removal of all of it with the settings store.

#include "platform/registry/registry.h"

namespace console {

HRESULT registerServer();
HRESULT unregisterServer();

// Deletes path below root with all its sub-keys; the Win32 error of the first failure.
LONG DeleteKeyTree(HKEY root, const char* path);

}  // namespace console
