#include "setup/filter_registration.h"

#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/fs/file_api.h"
#include "platform/handle.h"
#include "platform/metabase/admin_base.h"
#include "platform/sync/named_mutex.h"
#include "platform/text/ascii_case.h"
#include "settings/metabase_session.h"

namespace setup {

namespace {

using settings::MetabaseSession;

constexpr char kService[] = "/LM/W3SVC";
constexpr char kFilters[] = "Filters";
constexpr char kFiltersPath[] = "/LM/W3SVC/Filters";
constexpr DWORD kServerUserType = 1;

std::vector<std::string_view> items(std::string_view list) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = list.find(',', start);
    out.push_back(list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) return out;
    start = comma + 1;
  }
}

// An item as the web server reads it: without the blanks around it.
std::string_view trimmed(std::string_view item) {
  const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!item.empty() && blank(item.front())) item.remove_prefix(1);
  while (!item.empty() && blank(item.back())) item.remove_suffix(1);
  return item;
}

bool sameFilter(std::string_view item, std::string_view name) { return platform::text::equalsNoCase(trimmed(item), trimmed(name)); }

bool isKnown(std::string_view item) {
  for (const char* known : FilterPrecedenceList)
    if (sameFilter(item, known)) return true;
  return false;
}

void append(std::string& out, std::string_view item) {
  if (!out.empty()) out += ',';
  out += item;
}

bool listNames(std::string_view list, std::string_view name) {
  for (std::string_view item : items(list))
    if (sameFilter(item, name)) return true;
  return false;
}

bool writeLoadOrder(const std::string& list) {
  return MetabaseSession::WriteData(kService, kFilters, MD_FILTER_LOAD_ORDER, kServerUserType, STRING_METADATA,
                                    list.c_str(), 0);
}

void dryRun(const std::string& list, const std::string& name) {
  const std::string ordered = OrderFilterList(list + "," + name) + "\n";
  if (auto out = platform::fs::openFile(kDryRunOutput, "ab")) std::fwrite(ordered.data(), 1, ordered.size(), out.get());
}

// The name as the server reads it from the load order, which is also its key's name; none
// for a name the list or the metabase would split ("a,b", "a/b") or an empty one.
std::optional<std::string> filterName(std::string_view given) {
  const std::string_view name = trimmed(given);
  if (name.empty() || name.find_first_of(",/\\") != std::string_view::npos) return std::nullopt;
  // A name whose key the metabase cannot hold would stand in the load order with no key, and
  // a second run would find it there and count it as registered.
  if (!MetabaseSession::PathFits((std::string(kFiltersPath) + "/" + std::string(name)).c_str())) return std::nullopt;
  return std::string(name);
}

// Two installers run at once would each read the load order and write back their own: one
// name would be lost. Each holds this machine-wide mutex from its read to its last write.
class LoadOrderLock {
 public:
  LoadOrderLock() : mutex_(CreateMutexA(nullptr, FALSE, "TamsicFilterLoadOrder")) {
    // Left by an installer that died holding it: ours now, and the list it guards is read
    // and written whole, so there is nothing half-done to mend.
    const DWORD waited = mutex_ ? WaitForSingleObject(mutex_.get(), 30000) : WAIT_FAILED;
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  }
  ~LoadOrderLock() {
    if (held_) ReleaseMutex(mutex_.get());
  }
  LoadOrderLock(const LoadOrderLock&) = delete;
  LoadOrderLock& operator=(const LoadOrderLock&) = delete;
  bool held() const { return held_; }

 private:
  UniqueHandle mutex_;
  bool held_ = false;
};

// Registers a name as the server reads it.
bool registerNamed(const std::string& name, const std::string& dllPath, const std::string& description) {
  const LoadOrderLock lock;
  if (!lock.held()) return false;
  const auto current = MetabaseSession::ReadString(kService, kFilters, MD_FILTER_LOAD_ORDER, kServerUserType);
  if (!current) {
    // A metabase without the filters' key: made here, or the list written below goes nowhere
    // and the filter, counted as registered, is never loaded.
    MetabaseSession::CreateKeyPath(kService, kFilters);
    if (!writeLoadOrder(name)) return false;
  } else {
    // Mended: a name merely contained in another item ("TamsicOld") counted as registered.
    if (listNames(*current, name)) return true;
    if (description == kDryRunDescription) {
      dryRun(dllPath, name);
      return true;
    }
    if (!writeLoadOrder(OrderFilterList(*current + "," + name))) return false;
  }
  const std::string key = std::string(kFilters) + "/" + name;
  if (MetabaseSession::ReadString(kService, key.c_str(), MD_FILTER_LOAD_ORDER, kServerUserType)) return true;
  if (!MetabaseSession::CreateKeyPath(kFiltersPath, name.c_str())) return false;
  const std::string own = "/" + name;
  return MetabaseSession::WriteData(kFiltersPath, own.c_str(), MD_FILTER_IMAGE_PATH, kServerUserType, STRING_METADATA,
                                    dllPath.c_str(), 0) &&
         MetabaseSession::WriteData(kFiltersPath, own.c_str(), MD_KEY_TYPE, kServerUserType, STRING_METADATA,
                                    "IIsFilter", 0) &&
         MetabaseSession::WriteData(kFiltersPath, own.c_str(), MD_FILTER_DESCRIPTION, kServerUserType,
                                    STRING_METADATA, description.c_str(), 0) &&
         MetabaseSession::WriteData(kFiltersPath, own.c_str(), MD_FILTER_STATE, kServerUserType, DWORD_METADATA,
                                    nullptr, 1);
}

}  // namespace

std::string OrderFilterList(std::string_view list) {
  std::string out;
  const std::vector<std::string_view> input = items(list);
  for (const char* known : FilterPrecedenceList)
    for (std::string_view item : input)
      if (sameFilter(item, known)) append(out, known);
  for (std::string_view item : input)
    if (!isKnown(item)) append(out, item);
  return out;
}

bool AcceptsFilterName(const std::string& given) { return filterName(given).has_value(); }

bool RegisterFilter(const std::string& given, const std::string& dllPath, const std::string& description) {
  const std::optional<std::string> name = filterName(given);
  if (!name) return false;
  return registerNamed(*name, dllPath, description);
}

bool UnregisterFilter(const std::string& given) {
  const std::optional<std::string> name = filterName(given);
  if (!name) return false;
  const LoadOrderLock lock;
  if (!lock.held()) return false;
  if (const auto current = MetabaseSession::ReadString(kService, kFilters, MD_FILTER_LOAD_ORDER, kServerUserType)) {
    // Mended: the first item that merely began with the name went ("TamsicOld" for "Tamsic");
    // only items that are the name, as the server reads them (" Tamsic" too), are removed,
    // each with one comma beside it. Every one goes: the server would load one left behind.
    std::vector<std::string_view> list = items(*current);
    const auto before = list.size();
    std::erase_if(list, [&](std::string_view item) { return sameFilter(item, *name); });
    if (list.size() != before) {
      std::string rest;
      for (std::size_t j = 0; j < list.size(); ++j) rest += (j ? "," : "") + std::string(list[j]);
      writeLoadOrder(rest);
    }
  }
  MetabaseSession::DeleteKeyOrData(kFiltersPath, name->c_str(), 0, 0);
  return true;
}

}  // namespace setup
