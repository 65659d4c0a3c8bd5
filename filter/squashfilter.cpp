// The filter's three exports: the only symbols the library shows its host.

#include <cstring>

#include "compress/content_cache.h"
#include "compress/request_memory.h"
#include "filter/filter_globals.h"
#include "settings/reload_token.h"
#include "filter/response_handlers.h"
#include "settings/settings_loader.h"
#include "stats/statistics.h"

namespace {

constexpr char kFilterDescription[] = "Zazirizaza";
constexpr DWORD kNotifications = SF_NOTIFY_ORDER_HIGH | SF_NOTIFY_PREPROC_HEADERS | SF_NOTIFY_SEND_RAW_DATA |
                                 SF_NOTIFY_LOG | SF_NOTIFY_END_OF_REQUEST | SF_NOTIFY_SEND_RESPONSE;

}  // namespace

extern "C" BOOL WINAPI GetFilterVersion(HTTP_FILTER_VERSION* version) noexcept try {
  filter::FilterGlobals& g = filter::Globals();
  g.reloadToken.remember(settings::ObtainReloadToken().value_or(""));
  settings::LoadedSettings loaded;
  if (!settings::LoadSettings(loaded)) return FALSE;
  auto logMutex = std::make_shared<UniqueHandle>(std::move(loaded.logMutex));
  filter::InstallInitialTable(std::move(loaded.table), logMutex);
  stats::StartStatistics(std::move(logMutex));
  if (version) {
    version->dwFilterVersion = HTTP_FILTER_REVISION;
    std::strncpy(version->lpszFilterDesc, kFilterDescription, SF_MAX_FILTER_DESC_LEN - 1);
    version->lpszFilterDesc[SF_MAX_FILTER_DESC_LEN - 1] = '\0';
    version->dwFlags = kNotifications;
  }
  return TRUE;
} catch (...) {
  return FALSE;
}

extern "C" DWORD WINAPI HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD notificationType, void* notification) noexcept try {
  if (!pfc) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  switch (notificationType) {
    case SF_NOTIFY_PREPROC_HEADERS:
      return filter::OnPreprocHeaders(pfc, static_cast<HTTP_FILTER_PREPROC_HEADERS*>(notification));
    case SF_NOTIFY_SEND_RESPONSE:
      return filter::OnSendResponse(pfc, static_cast<HTTP_FILTER_SEND_RESPONSE*>(notification));
    case SF_NOTIFY_SEND_RAW_DATA:
      return filter::OnSendRawData(pfc, static_cast<HTTP_FILTER_RAW_DATA*>(notification));
    case SF_NOTIFY_END_OF_REQUEST:
      return filter::OnEndOfRequest(pfc);
    case SF_NOTIFY_LOG:
      return filter::OnLog(pfc, static_cast<HTTP_FILTER_LOG*>(notification));
    default:
      return SF_STATUS_REQ_NEXT_NOTIFICATION;
  }
} catch (...) {
  // Nothing may cross into the server: the response goes on as it is.
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

extern "C" BOOL WINAPI TerminateFilter(DWORD) noexcept try {
  // Every response has ended: what is pending is written before the "IIS Restart" sites'
  // files are deleted, so none of it outlives them.
  stats::StopStatistics();
  compression::RequestMemory::releaseShelf();
  std::shared_ptr<settings::SiteTable> table = filter::ReleaseActiveTable();
  if (!table) return TRUE;
  for (const auto& site : table->Slots) {
    if (!site) continue;
    if (site->RemoveCache) compression::EmptyFolder(site->CacheFolder.str() + compression::kCacheSubFolder);
    if (site->RefreshLog.str() == "IIS Restart") stats::DeleteStatistics(site->LogFolder.str());
  }
  return TRUE;
} catch (...) {
  return TRUE;
}
