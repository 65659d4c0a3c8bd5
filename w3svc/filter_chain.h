#pragma once
// The ISAPI filters of the load order, loaded from their image paths and kept in the order
// IIS calls them: by the priority their GetFilterVersion asks for (high, medium, low), and
// within one priority by load order.

#include <functional>
#include <string>
#include <vector>

#include "platform/isapi/httpfilt.h"
#include "w3svc/server_config.h"

namespace w3svc {

struct LoadedFilter {
  std::string name;
  std::string description;
  DWORD flags = 0;
  void* library = nullptr;
  HttpFilterProcFn proc = nullptr;
  TerminateFilterFn terminate = nullptr;
};

class FilterChain {
 public:
  FilterChain() = default;
  FilterChain(const FilterChain&) = delete;
  FilterChain& operator=(const FilterChain&) = delete;
  ~FilterChain();

  // Loads every entry; `remark` receives one line per filter saying what became of it.
  void load(const std::vector<FilterEntry>& entries, const std::function<void(const std::string&)>& remark);
  const std::vector<LoadedFilter>& filters() const { return filters_; }
  // Calls each filter's TerminateFilter and unloads it. Done once, at stop.
  void terminate();

 private:
  std::vector<LoadedFilter> filters_;
};

}  // namespace w3svc
