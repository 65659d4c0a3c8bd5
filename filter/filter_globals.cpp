#include "filter/filter_globals.h"

#include <chrono>
#include <thread>

#include "settings/settings_loader.h"
#include "stats/statistics.h"

namespace filter {

namespace {
// The drain wait: 99 polls of 200 ms, about 19.8 s, for requests bound to the old table.
constexpr int kDrainPolls = 99;
constexpr auto kDrainPoll = std::chrono::milliseconds(200);
}  // namespace

FilterGlobals& Globals() {
  static FilterGlobals globals;
  return globals;
}

Binding BindRequest() {
  FilterGlobals& g = Globals();
  std::lock_guard lock(g.tableLock);
  Binding b;
  b.slot = g.activeSlot;
  ++g.inFlight[b.slot];
  b.table = g.tables[b.slot];
  b.logMutex = g.logMutex;
  return b;
}

void ReleaseRequest(int slot) {
  // Never below zero: a drain that gave up set the count to zero under the late requests.
  std::atomic<std::int32_t>& count = Globals().inFlight[slot];
  std::int32_t held = count.load();
  while (held > 0 && !count.compare_exchange_weak(held, held - 1)) {
  }
}

void SwapTables() {
  FilterGlobals& g = Globals();
  std::lock_guard reload(g.reloadLock);
  settings::LoadedSettings loaded;
  std::shared_ptr<settings::SiteTable> fresh;
  if (settings::LoadSettings(loaded)) fresh = std::move(loaded.table);
  std::shared_ptr<settings::SiteTable> current;
  {
    std::lock_guard lock(g.tableLock);
    current = g.tables[g.activeSlot];
  }
  stats::ReloadStatistics(current.get(), fresh.get());
  int oldSlot;
  {
    std::lock_guard lock(g.tableLock);
    oldSlot = g.activeSlot;
    const int newSlot = 1 - oldSlot;
    g.tables[newSlot] = fresh;
    g.inFlight[newSlot] = 0;
    g.siteCount = fresh ? static_cast<std::int32_t>(fresh->SlotCount()) : 0;
    if (loaded.logMutex) g.logMutex = std::make_shared<UniqueHandle>(std::move(loaded.logMutex));
    g.activeSlot = newSlot;
  }
  for (int poll = 0; poll < kDrainPolls && g.inFlight[oldSlot].load() != 0; ++poll)
    std::this_thread::sleep_for(kDrainPoll);
  const bool drained = g.inFlight[oldSlot].load() == 0;
  std::shared_ptr<settings::SiteTable> old;
  {
    std::lock_guard lock(g.tableLock);
    g.inFlight[oldSlot] = 0;
    old = std::move(g.tables[oldSlot]);
  }
  // Requests still bound to the old table keep it alive through their own references, and
  // their lines go into files that may have started afresh with other columns: the
  // statistics keep writing those columns until no table before the active one is left.
  if (!drained) g.lateTable = old;
  if (drained && g.lateTable.expired()) stats::ReloadDrained();
}

void InstallInitialTable(std::shared_ptr<settings::SiteTable> table, std::shared_ptr<UniqueHandle> logMutex) {
  FilterGlobals& g = Globals();
  std::lock_guard lock(g.tableLock);
  g.siteCount = table ? static_cast<std::int32_t>(table->SlotCount()) : 0;
  g.tables[0] = std::move(table);
  g.tables[1].reset();
  g.activeSlot = 0;
  g.inFlight[0] = g.inFlight[1] = 0;
  g.logMutex = std::move(logMutex);
}

std::shared_ptr<settings::SiteTable> ReleaseActiveTable() {
  FilterGlobals& g = Globals();
  std::lock_guard lock(g.tableLock);
  auto table = std::move(g.tables[g.activeSlot]);
  g.tables[1 - g.activeSlot].reset();
  return table;
}

}  // namespace filter
