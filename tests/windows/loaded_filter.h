#pragma once
// squashfilter.dll as IIS holds it: loaded from beside the test program, its exports found
// by name. The ISAPI harness's calls to HttpFilterProc reach the loaded export.

#include <windows.h>
#include <httpfilt.h>

namespace wine_tests {

// Loads the filter once per process; false when the image or one of its exports is missing.
bool loadFilter();
BOOL callGetFilterVersion(HTTP_FILTER_VERSION* version);
BOOL callTerminateFilter(DWORD flags);

}  // namespace wine_tests
