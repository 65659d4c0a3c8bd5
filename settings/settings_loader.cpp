#include "settings/settings_loader.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/metabase/admin_base.h"
#include "platform/registry/unique_key.h"
#include "platform/sync/named_mutex.h"
#include "platform/text/ascii_case.h"
#include "settings/default_tables.h"
#include "settings/metabase_session.h"
#include "settings/registry_layout.h"
#include "settings/rule_lists.h"
#include "settings/site_folders.h"

namespace settings {

namespace {

std::string siteKeyPath(int instance) { return std::string(kSitesKeyPath) + "\\" + std::to_string(instance); }

bool writeText(HKEY key, const char* name, std::string_view text) {
  // Every value is REG_SZ with its terminating NUL, as the other writers of the store do.
  std::string data(text);
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
}

bool writeMulti(HKEY key, const char* name, const std::string& data) {
  return RegSetValueExA(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

// A scalar in its 512-byte buffer: missing, or too long to fit, is nullopt.
std::optional<std::string> readScalar(HKEY key, const char* name) {
  char buffer[kScalarBufferBytes] = {};
  DWORD size = sizeof(buffer);
  DWORD type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
    return std::nullopt;
  return scalarText(type, std::string_view(buffer, size));
}

// A list value read whole, however long: a list is never mistaken for a missing one
// because it outgrew the buffer it was designed for.
struct WholeValue {
  LONG status = ERROR_FILE_NOT_FOUND;
  std::string data;
};

WholeValue readWhole(HKEY key, const char* name) {
  WholeValue v;
  std::string buffer(kListBufferBytes, '\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size());
    v.status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (v.status == ERROR_SUCCESS) {
      buffer.resize(size);
      v.data = std::move(buffer);
      return v;
    }
    if (v.status != ERROR_MORE_DATA) return v;
    buffer.assign(size, '\0');  // another writer may grow it again meanwhile: retry
  }
  return v;
}

// The text up to the first NUL of what the registry returned.
std::string_view untilNul(const std::string& data) { return std::string_view(data.data(), strnlen(data.data(), data.size())); }

void setNewSiteDefaults(SiteSettings& s) {
  s.Disabled = 0;
  s.Cache = 1;
  s.MinSize = 800;
  s.MaxSize = 500000;
  s.Limit = 0;
  s.NoLimit = 0;
  s.DynamicCache = 0;
  s.CacheHeaders = 1;
  s.RemoveCache = 1;
  s.Report = 1;
  s.EnableWhite = 0;
  s.WsWhite = s.WsComment = s.WsLower = s.WsCss = s.WsCssCom = 1;
}

std::string formatWithRoot(const char* format, const SiteSettings& s) {
  char buffer[1024];
  std::snprintf(buffer, sizeof(buffer), format, s.RootPath.c_str());
  return buffer;
}

// Every value of the browser key, or none at all when any value is broken.
std::vector<BrowserRule> readBrowsers(int instance) {
  UniqueKey key;
  const std::string path = siteKeyPath(instance) + "\\" + kBrowsersSubKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) return {};
  std::vector<BrowserRule> rules;
  for (DWORD index = 0;; ++index) {
    // Names and data are read whole (sizes first): a long value is not the end of the list.
    std::string name(kMaxRegValueNameChars + 1, '\0');
    DWORD nameChars = static_cast<DWORD>(name.size());
    DWORD dataSize = 0;
    LONG rc = RegEnumValueA(key.get(), index, name.data(), &nameChars, nullptr, nullptr, nullptr, &dataSize);
    if (rc != ERROR_SUCCESS) break;
    name.resize(nameChars);
    std::string data(dataSize, '\0');
    nameChars = kMaxRegValueNameChars + 1;
    std::string nameAgain(nameChars, '\0');
    rc = RegEnumValueA(key.get(), index, nameAgain.data(), &nameChars, nullptr, nullptr,
                       reinterpret_cast<BYTE*>(data.data()), &dataSize);
    if (rc != ERROR_SUCCESS) return {};
    data.resize(dataSize);
    auto rule = parseBrowserValue(name, data);
    if (!rule) return {};
    rules.push_back(std::move(*rule));
  }
  return rules;
}

bool hasSubKey(HKEY key, const char* name) {
  UniqueKey sub;
  return RegOpenKeyExA(key, name, 0, KEY_READ, sub.put()) == ERROR_SUCCESS;
}

bool hasAnyValue(HKEY key) {
  DWORD values = 0;
  return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                          nullptr, nullptr) == ERROR_SUCCESS &&
         values > 0;
}

bool hasAnySubKey(HKEY key) {
  char name[256];
  DWORD chars = sizeof(name);
  const LONG rc = RegEnumKeyExA(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr);
  return rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA;  // a longer name is a key all the same
}

// A site key without "FileExtensions" (or, once the console stored its extension levels
// alone, without "MimeTypes") has no rule lists of its own yet: the built-in tables go where
// nothing is stored. What an administrator stored ("MimeTypes", "NewExclude", the
// browser key, which the console writes without "FileExtensions") is kept and used. What
// was stored before a table failed to build stays.
//
// A site that still holds an older store's rule trees (keys where the lists are now values)
// waits for the settings upgrade, which converts only a site without "FileExtensions": it
// runs on the built-in tables and nothing is written, or the upgrade would take the written
// tables for its own work and the old rules would be lost. Browser values beside those trees
// are a conversion's own (an earlier upgrade wrote no "FileExtensions" for a site without
// extension rules) and are used.
void storeMissingDefaults(HKEY siteKey, int instance, SiteSettings& s, bool extensionsStored) {
  const std::string browserPath = siteKeyPath(instance) + "\\" + kBrowsersSubKey;
  UniqueKey existing;
  const bool browserKey =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, browserPath.c_str(), 0, KEY_ALL_ACCESS, existing.put()) == ERROR_SUCCESS;
  const bool store = !hasSubKey(siteKey, "FileExtensions") && !hasSubKey(siteKey, "MimeTypes") &&
                     !(browserKey && hasAnySubKey(existing.get()));
  if (!extensionsStored) {
    auto extensions = buildDefaultExtensionTable();
    if (!extensions) return;
    s.FileExtensions = std::move(*extensions);
    if (store) writeText(siteKey, "FileExtensions", formatExtensionList(s.FileExtensions));
  }
  WholeValue mime = readWhole(siteKey, "MimeTypes");
  if (mime.status == ERROR_SUCCESS) {
    s.MimeTypes = parseMimeTypes(mime.data);
  } else if (mime.status == ERROR_FILE_NOT_FOUND) {
    auto table = buildDefaultMimeTable();
    if (!table) return;
    s.MimeTypes = std::move(*table);
    if (store) writeMulti(siteKey, "MimeTypes", formatMimeTypes(s.MimeTypes));
  }
  if (store && readWhole(siteKey, "NewExclude").status == ERROR_FILE_NOT_FOUND)
    writeText(siteKey, "NewExclude", defaults::kNewExclude);
  if (browserKey && (store || hasAnyValue(existing.get()))) {
    s.Browsers = readBrowsers(instance);
    return;
  }
  UniqueKey browsers;
  if (store && RegCreateKeyExA(HKEY_LOCAL_MACHINE, browserPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, browsers.put(), nullptr) != ERROR_SUCCESS)
    return;
  auto table = buildDefaultBrowserTable();
  if (!table) return;
  s.Browsers = std::move(*table);
  if (!store) return;
  for (const BrowserRule& rule : s.Browsers) writeMulti(browsers.get(), rule.DisplayName.c_str(), formatBrowserValue(rule));
}

void readRuleLists(HKEY siteKey, int instance, SiteSettings& s) {
  WholeValue extensions = readWhole(siteKey, "FileExtensions");
  if (extensions.status == ERROR_FILE_NOT_FOUND) {
    storeMissingDefaults(siteKey, instance, s, false);
    return;
  }
  // Unreadable for another reason: keep what is stored and load no rules from it.
  if (extensions.status != ERROR_SUCCESS) return;
  s.FileExtensions = parseExtensionList(untilNul(extensions.data));
  WholeValue mime = readWhole(siteKey, "MimeTypes");
  // The console stores "FileExtensions" alone when its editor is confirmed on a key it
  // created: without MIME rules nothing of the site would be compressed.
  if (mime.status == ERROR_FILE_NOT_FOUND) {
    storeMissingDefaults(siteKey, instance, s, true);
    return;
  }
  if (mime.status != ERROR_SUCCESS) return;
  s.MimeTypes = parseMimeTypes(mime.data);
  s.Browsers = readBrowsers(instance);
}

bool loadNewSite(int instance, SiteSettings& s) {
  setNewSiteDefaults(s);
  auto cacheList = buildDefaultCacheList();
  if (cacheList) s.CacheExt = std::move(*cacheList);
  UniqueKey key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, siteKeyPath(instance).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
    return false;
  s.CacheFolder = formatWithRoot(defaults::kCacheFolderFormat, s);
  s.ReportMask = defaults::kReportMask;
  s.LogFolder = formatWithRoot(defaults::kLogFolderFormat, s);
  s.RefreshLog = defaults::kRefreshLog;
  const std::pair<const char*, std::string> values[] = {
      {"CacheExt", formatCommaList(s.CacheExt)},
      {"Disabled", defaults::kDisabled},
      {"RemoveCache", defaults::kRemoveCache},
      {"DynamicCache", defaults::kDynamicCache},
      {"CacheHeaders", defaults::kCacheHeaders},
      {"MinSize", defaults::kMinSize},
      {"MaxSize", defaults::kMaxSize},
      {"Limit", defaults::kLimit},
      {"NoLimit", defaults::kNoLimit},
      {"Report", defaults::kReport},
      {"EnableWhite", defaults::kEnableWhite},
      {"WsWhite", defaults::kWsSwitch},
      {"WsComment", defaults::kWsSwitch},
      {"WsLower", defaults::kWsSwitch},
      {"WsCss", defaults::kWsSwitch},
      {"WsCssCom", defaults::kWsSwitch},
      {"Cache", defaults::kCache},
      {"CacheFolder", s.CacheFolder.str()},
      {"ReportMask", s.ReportMask.str()},
      {"LogFolder", s.LogFolder.str()},
      {"RefreshLog", s.RefreshLog.str()},
  };
  for (const auto& [name, text] : values) writeText(key.get(), name, text);
  readRuleLists(key.get(), instance, s);
  return true;
}

// A switch held in 16 bits: a stored number whose low 16 bits are zero (65536) still
// switches on, as the console shows it.
template <typename Narrow>
Narrow switchValue(const std::string& text) {
  const std::int32_t number = parseNumber(text);
  return number != 0 && static_cast<Narrow>(number) == 0 ? Narrow{1} : static_cast<Narrow>(number);
}

bool loadExistingSite(HKEY key, int instance, SiteSettings& s) {
  const char* names[] = {"Disabled", "Cache",     "MinSize", "MaxSize",   "RemoveCache", "DynamicCache", "CacheHeaders",
                         "Limit",    "Report",    "EnableWhite", "WsWhite", "WsComment", "WsLower",      "WsCss",
                         "WsCssCom", "NoLimit",   "CacheFolder", "LogFolder", "RefreshLog", "ReportMask"};
  std::string text[std::size(names)];
  for (std::size_t i = 0; i < std::size(names); ++i) {
    auto value = readScalar(key, names[i]);
    if (!value) return false;
    text[i] = std::move(*value);
  }
  s.Disabled = switchValue<std::int16_t>(text[0]);
  s.Cache = switchValue<std::int16_t>(text[1]);
  s.MinSize = parseNumber(text[2]);
  s.MaxSize = parseNumber(text[3]);
  s.RemoveCache = switchValue<std::int16_t>(text[4]);
  s.DynamicCache = switchValue<std::int16_t>(text[5]);
  s.CacheHeaders = switchValue<std::int16_t>(text[6]);
  s.Limit = static_cast<std::uint32_t>(parseNumber(text[7]));
  s.Report = switchValue<std::int16_t>(text[8]);
  s.EnableWhite = switchValue<std::uint16_t>(text[9]);
  s.WsWhite = switchValue<std::uint16_t>(text[10]);
  s.WsComment = switchValue<std::uint16_t>(text[11]);
  s.WsLower = switchValue<std::uint16_t>(text[12]);
  s.WsCss = switchValue<std::uint16_t>(text[13]);
  s.WsCssCom = switchValue<std::uint16_t>(text[14]);
  s.NoLimit = switchValue<std::int16_t>(text[15]);
  s.CacheFolder = text[16];
  s.LogFolder = text[17];
  s.RefreshLog = text[18];
  s.ReportMask = text[19];

  readRuleLists(key, instance, s);

  WholeValue cacheExt = readWhole(key, "CacheExt");
  if (cacheExt.status == ERROR_SUCCESS) {
    s.CacheExt = parseCacheExtensions(untilNul(cacheExt.data));
  } else if (cacheExt.status == ERROR_FILE_NOT_FOUND) {
    writeText(key, "CacheExt", formatCommaList(s.CacheExt));
  }
  WholeValue exclude = readWhole(key, "NewExclude");
  if (exclude.status == ERROR_SUCCESS) s.NewExclude = parseExclusions(untilNul(exclude.data));
  return true;
}

bool hasAlphabetic(const std::string& name) {
  for (unsigned char c : name)
    if (std::isalpha(c)) return true;
  return false;
}

// Fills the table's slots; false when the load fails.
bool loadSites(SiteTable& table, const std::string& anonymousAccount) {
  std::size_t slot = 0;
  // The first child of /LM/W3SVC is never a site ("Info" on every IIS): start at 1.
  for (DWORD index = 1; slot < table.SlotCount(); ++index) {
    auto name = MetabaseSession::EnumChildKey(index, nullptr);
    if (!name) return true;
    if (hasAlphabetic(*name)) continue;
    const int instance = parseNumber(*name);
    table.Slots[slot] = std::make_unique<SiteSettings>();
    SiteSettings& site = *table.Slots[slot];
    char instancePath[128];
    std::snprintf(instancePath, sizeof(instancePath), "/LM/W3SVC/%d", instance);
    site.InstancePath = instancePath;
    auto root = MetabaseSession::ReadSiteRoot(static_cast<DWORD>(instance), MD_VR_PATH);
    // A home folder longer than the settings hold would be cut to another folder (its
    // parent, say), and the site's folders made there: it is as good as none.
    if (!root || root->size() > kRootPathBytes) return true;
    site.RootPath = *root;
    {
      UniqueKey key;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, siteKeyPath(instance).c_str(), 0, KEY_ALL_ACCESS, key.put()) !=
          ERROR_SUCCESS) {
        if (!loadNewSite(instance, site)) return false;
      } else if (!loadExistingSite(key.get(), instance, site)) {
        return false;
      }
    }
    cutToRecordWidths(site);
    site.PlainCacheFolder = plainFolder(site.CacheFolder.str(), site.RootPath.str());
    site.PlainLogFolder = plainFolder(site.LogFolder.str(), site.RootPath.str());
    if (prepareSiteFolders(site, anonymousAccount) == FolderResult::kNoProgFiles) return false;
    ++slot;
  }
  return true;
}

// The folder that holds a cache folder's copies, as one text however it is spelled: the
// folder spelled plainly, in one case (Windows names ignore it), ending in '\\'.
std::string copyRootKey(std::string_view plainCacheFolder) {
  std::string key(plainCacheFolder);
  key += kCacheSubFolder;
  platform::text::lowerInPlace(key);
  key += '\\';
  return key;
}

// A site whose copies would lie among an earlier site's (the same cache folder, or one
// inside the other's copies) caches nothing: the first site keeps the folder.
void refuseSharedCacheFolders(SiteTable& table) {
  std::vector<std::string> claimed;
  for (const auto& slot : table.Slots) {
    if (!slot || slot->CacheFolder.empty()) continue;
    const std::string key = copyRootKey(slot->PlainCacheFolder);
    slot->CacheFolderTaken = std::any_of(claimed.begin(), claimed.end(), [&](const std::string& other) {
      return key.starts_with(other) || other.starts_with(key);
    });
    if (!slot->CacheFolderTaken) claimed.push_back(key);
  }
}

}  // namespace

bool LoadSettings(LoadedSettings& out) try {
  auto anonymous = MetabaseSession::ReadString("/LM", "/W3SVC", MD_ANONYMOUS_USER_NAME, IIS_MD_UT_FILE);
  if (!anonymous) return false;
  std::size_t count = 0;
  while (MetabaseSession::EnumChildKey(static_cast<DWORD>(count), nullptr)) ++count;
  if (count == 0) return false;
  auto table = std::make_unique<SiteTable>();
  table->Slots.resize(count);
  UniqueHandle mutex(CreateMutexA(nullptr, FALSE, kLogFileMutexName));
  if (!loadSites(*table, *anonymous)) return false;
  refuseSharedCacheFolders(*table);
  out.table = std::move(table);
  out.logMutex = std::move(mutex);
  return true;
} catch (const std::bad_alloc&) {
  return false;
}

}  // namespace settings
