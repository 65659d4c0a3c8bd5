#include "w3svc/filter_chain.h"

#include <dlfcn.h>

#include <algorithm>

#include "platform/fs/windows_path.h"

namespace w3svc {

namespace {

constexpr DWORD kTerminateFilter = 1;  // SF_TERMINATE_FORCE is not used: filters end cleanly

int priorityOf(DWORD flags) {
  if (flags & SF_NOTIFY_ORDER_HIGH) return 0;
  if (flags & SF_NOTIFY_ORDER_MEDIUM) return 1;
  return 2;
}

}  // namespace

FilterChain::~FilterChain() { terminate(); }

void FilterChain::load(const std::vector<FilterEntry>& entries,
                       const std::function<void(const std::string&)>& remark) {
  for (const FilterEntry& entry : entries) {
    const std::string label = "filter " + entry.name + " (" + entry.imagePath + ")";
    const auto host = platform::fs::hostPath(entry.imagePath);
    if (entry.imagePath.empty() || !host) {
      remark(label + " not loaded: no such FilterPath");
      continue;
    }
    void* library = ::dlopen(host->c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      const char* why = ::dlerror();
      remark(label + " not loaded: " + (why ? why : "the library cannot be loaded"));
      continue;
    }
    auto version = reinterpret_cast<GetFilterVersionFn>(::dlsym(library, "GetFilterVersion"));
    auto proc = reinterpret_cast<HttpFilterProcFn>(::dlsym(library, "HttpFilterProc"));
    auto terminate = reinterpret_cast<TerminateFilterFn>(::dlsym(library, "TerminateFilter"));
    if (!version || !proc) {
      remark(label + " not loaded: GetFilterVersion or HttpFilterProc is missing");
      ::dlclose(library);
      continue;
    }
    HTTP_FILTER_VERSION info{};
    info.dwServerFilterVersion = HTTP_FILTER_REVISION;
    if (!version(&info)) {
      remark(label + " not loaded: GetFilterVersion returned FALSE");
      ::dlclose(library);
      continue;
    }
    info.lpszFilterDesc[SF_MAX_FILTER_DESC_LEN - 1] = '\0';
    filters_.push_back({entry.name, info.lpszFilterDesc, info.dwFlags, library, proc, terminate});
    remark(label + " loaded: " + info.lpszFilterDesc);
  }
  std::stable_sort(filters_.begin(), filters_.end(), [](const LoadedFilter& a, const LoadedFilter& b) {
    return priorityOf(a.flags) < priorityOf(b.flags);
  });
}

void FilterChain::terminate() {
  for (LoadedFilter& filter : filters_) {
    if (filter.terminate) filter.terminate(kTerminateFilter);
    ::dlclose(filter.library);
  }
  filters_.clear();
}

}  // namespace w3svc
