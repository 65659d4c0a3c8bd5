#include "tests/windows/loaded_filter.h"

#include <string>

#include "tests/windows/wine_machine.h"

namespace wine_tests {

namespace {

using GetFilterVersionFn = BOOL(WINAPI*)(HTTP_FILTER_VERSION*);
using HttpFilterProcFn = DWORD(WINAPI*)(HTTP_FILTER_CONTEXT*, DWORD, void*);
using TerminateFilterFn = BOOL(WINAPI*)(DWORD);

struct Exports {
  GetFilterVersionFn getFilterVersion = nullptr;
  HttpFilterProcFn httpFilterProc = nullptr;
  TerminateFilterFn terminateFilter = nullptr;
};

Exports& exports() {
  static Exports loaded;
  return loaded;
}

template <typename Fn>
Fn find(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

bool loadFilter() {
  Exports& e = exports();
  if (e.httpFilterProc) return true;
  const HMODULE module = LoadLibraryA((programFolder() + "squashfilter.dll").c_str());
  if (!module) return false;
  e.getFilterVersion = find<GetFilterVersionFn>(module, "GetFilterVersion");
  e.httpFilterProc = find<HttpFilterProcFn>(module, "HttpFilterProc");
  e.terminateFilter = find<TerminateFilterFn>(module, "TerminateFilter");
  return e.getFilterVersion && e.httpFilterProc && e.terminateFilter;
}

BOOL callGetFilterVersion(HTTP_FILTER_VERSION* version) { return exports().getFilterVersion(version); }
BOOL callTerminateFilter(DWORD flags) { return exports().terminateFilter(flags); }

}  // namespace wine_tests

// The name the ISAPI harness calls.
extern "C" DWORD HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD notificationType, void* notification) noexcept {
  return wine_tests::exports().httpFilterProc(pfc, notificationType, notification);
}
