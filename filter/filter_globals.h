#pragma once
// The filter's process-wide state: two table slots, the active one, the count of requests
// bound to each, the table lock, the "LogFile" mutex and the reload token.
//
// A request holds a reference to the table it was bound to, so a table is freed only when
// the last request bound to it has ended, even when a reload's drain wait gave up on it.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/handle.h"
#include "settings/reload_token.h"
#include "settings/site_settings.h"

namespace filter {

struct FilterGlobals {
  std::shared_ptr<settings::SiteTable> tables[2];
  int activeSlot = 0;
  std::int32_t siteCount = 0;
  // Counted up under tableLock with the slot's table taken; counted down without it, so
  // the end of a request never waits for another request's start.
  std::atomic<std::int32_t> inFlight[2] = {0, 0};
  std::mutex tableLock;  // guards activeSlot, the slot pointers and raising inFlight
  std::shared_ptr<UniqueHandle> logMutex;
  settings::ReloadTokenCheck reloadToken;
  std::mutex reloadLock;  // one reload at a time: both use the inactive slot
  // A table whose drain gave up while requests still held it (guarded by reloadLock).
  std::weak_ptr<settings::SiteTable> lateTable;
};

FilterGlobals& Globals();

// What binding gives a request: its slot and a reference to that slot's table (empty when
// the slot holds none).
struct Binding {
  int slot = 0;
  std::shared_ptr<settings::SiteTable> table;
  std::shared_ptr<UniqueHandle> logMutex;
};

Binding BindRequest();
void ReleaseRequest(int slot);

// Loads a new table into the inactive slot, switches, and waits (at most 99 x 200 ms) for
// the old slot to drain. A failed load installs no table: requests then pass unchanged.
void SwapTables();

// Installs a first table (GetFilterVersion) / drops the active one (TerminateFilter).
void InstallInitialTable(std::shared_ptr<settings::SiteTable> table, std::shared_ptr<UniqueHandle> logMutex);
std::shared_ptr<settings::SiteTable> ReleaseActiveTable();

}  // namespace filter
