#include "console/site_store.h"

#include <algorithm>

#include "platform/registry/registry.h"
#include "platform/registry/unique_key.h"
#include "platform/text/ascii_case.h"
#include "settings/registry_layout.h"
#include "settings/rule_lists.h"

namespace console {

namespace {


std::optional<std::string> readWhole(HKEY key, const char* name, DWORD* typeOut = nullptr) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  std::string data(size, '\0');
  if (size && RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
    return std::nullopt;
  data.resize(size);
  if (typeOut) *typeOut = type;
  return data;
}

// A scalar's text, as the filter's loader reads it.
std::optional<std::string> readText(HKEY key, const char* name) {
  DWORD type = 0;
  auto data = readWhole(key, name, &type);
  if (!data) return std::nullopt;
  return settings::scalarText(type, *data);
}

void writeText(HKEY key, const char* name, std::string_view text) {
  const std::string data(text);
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), static_cast<DWORD>(data.size() + 1));
}

bool openSite(int site, REGSAM access, UniqueKey& key) {
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, siteKeyPath(site).c_str(), 0, access, key.put()) == ERROR_SUCCESS;
}

void readBrowsers(int site, WorkingCopy& copy) {
  UniqueKey key;
  const std::string path = siteKeyPath(site) + "\\" + settings::kBrowsersSubKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  auto& browsers = copy.Browsers.edit();
  browsers.clear();
  for (DWORD index = 0;; ++index) {
    // Value names may be longer than key names: a long one must not end the list.
    std::string name(kMaxRegValueNameChars + 1, '\0');
    DWORD nameChars = static_cast<DWORD>(name.size());
    DWORD size = 0;
    if (RegEnumValueA(key.get(), index, name.data(), &nameChars, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) break;
    name.resize(nameChars);
    auto data = readWhole(key.get(), name.c_str());
    auto rule = data ? settings::parseBrowserValue(name, *data) : std::nullopt;
    if (rule) browsers.push_back(std::move(*rule));
    else copy.UnreadBrowsers.push_back(name);
  }
}

void readExisting(HKEY key, WorkingCopy& copy) {
  for (const NumberField& f : kNumberFields)
    if (auto text = readText(key, f.name)) (copy.*f.member).set(settings::parseNumber(*text));
  for (const TextField& f : kTextFields)
    if (auto text = readText(key, f.name)) (copy.*f.member).set(Path(*text));
  // The texts the items are cut from must outlive the loops.
  if (auto text = readText(key, "CacheExt")) {
    auto& list = copy.CacheExt.edit();
    for (std::string_view item : settings::splitCommaList(*text)) list.emplace_back(item);
  }
  if (auto text = readText(key, "NewExclude")) {
    auto& list = copy.NewExclude.edit();
    for (std::string_view item : settings::splitCommaList(*text)) list.emplace_back(item);
  }
  if (auto text = readText(key, "FileExtensions")) copy.FileExtensions.set(settings::parseExtensionList(*text));
  if (auto data = readWhole(key, "MimeTypes")) copy.MimeTypes.set(settings::parseMimeTypes(*data));
}

void createWithDefaults(HKEY key, const std::string& homeFolder, WorkingCopy& copy) {
  const std::pair<Known<std::int32_t> WorkingCopy::*, std::pair<const char*, int>> numbers[] = {
      {&WorkingCopy::Disabled, {"Disabled", 0}},       {&WorkingCopy::CacheHeaders, {"CacheHeaders", 1}},
      {&WorkingCopy::MinSize, {"MinSize", 800}},       {&WorkingCopy::MaxSize, {"MaxSize", 500000}},
      {&WorkingCopy::EnableWhite, {"EnableWhite", 0}}, {&WorkingCopy::WsLower, {"WsLower", 1}},
      {&WorkingCopy::WsCss, {"WsCss", 1}},             {&WorkingCopy::WsCssCom, {"WsCssCom", 1}},
      {&WorkingCopy::WsComment, {"WsComment", 1}},     {&WorkingCopy::WsWhite, {"WsWhite", 1}},
      {&WorkingCopy::RemoveCache, {"RemoveCache", 1}}, {&WorkingCopy::DynamicCache, {"DynamicCache", 0}},
      {&WorkingCopy::Cache, {"Cache", 1}},             {&WorkingCopy::Report, {"Report", 1}},
      {&WorkingCopy::Limit, {"Limit", 0}},             {&WorkingCopy::NoLimit, {"NoLimit", 1}},
  };
  for (const auto& [member, entry] : numbers) {
    (copy.*member).set(entry.second);
    writeText(key, entry.first, std::to_string(entry.second));
  }
  const std::pair<Known<Path> WorkingCopy::*, std::pair<const char*, std::string>> texts[] = {
      {&WorkingCopy::CacheFolder, {"CacheFolder", homeFolder + "\\gzipcache"}},
      {&WorkingCopy::LogFolder, {"LogFolder", homeFolder + "\\gziplog"}},
      {&WorkingCopy::RefreshLog, {"RefreshLog", settings::defaults::kRefreshLog}},
      {&WorkingCopy::ReportMask, {"ReportMask", settings::defaults::kReportMask}},
  };
  for (const auto& [member, entry] : texts) {
    (copy.*member).set(Path(entry.second));
    writeText(key, entry.first, std::string_view((copy.*member).value));
  }
  copy.CacheExt.set({".htm", ".html", ".txt", ".xml"});
  writeText(key, "CacheExt", joinExtensions(copy.CacheExt.value));
}

// The names of a key's values, in the order the registry lists them.
std::vector<std::string> valueNames(HKEY key) {
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    std::string name(kMaxRegValueNameChars + 1, '\0');
    DWORD nameChars = static_cast<DWORD>(name.size());
    if (RegEnumValueA(key, index, name.data(), &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return names;
    name.resize(nameChars);
    names.push_back(std::move(name));
  }
}

void applyBrowsers(int site, const std::vector<settings::BrowserRule>& browsers,
                   const std::vector<std::string>& unread) {
  UniqueKey key;
  const std::string path = siteKeyPath(site) + "\\" + settings::kBrowsersSubKey;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                      key.put(), nullptr) != ERROR_SUCCESS)
    return;
  auto write = [&](const settings::BrowserRule& rule) {
    const std::string data = settings::formatBrowserValue(rule);
    RegSetValueExA(key.get(), rule.DisplayName.c_str(), 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
  };
  for (const settings::BrowserRule& rule : browsers) write(rule);
  // Values of browsers the working copy no longer has go, so the store matches it.
  std::vector<std::string> stale;
  std::vector<std::string> listed;  // the working copy's browsers, in the store's order
  for (const std::string& name : valueNames(key.get())) {
    bool kept = false;
    for (const auto& rule : browsers) kept = kept || platform::text::equalsNoCase(rule.DisplayName, name);
    if (kept) listed.push_back(name);
    // A value the console could not read is not the administrator's deletion.
    for (const auto& other : unread) kept = kept || platform::text::equalsNoCase(other, name);
    if (!kept) stale.push_back(name);
  }
  for (const std::string& name : stale) RegDeleteValueA(key.get(), name.c_str());
  // The first browser that matches is the one the filter applies, in the order the store
  // lists them: a renamed browser (a new value, at the end) would move. When the order is
  // not the working copy's, or a name is spelled otherwise (a write keeps the stored
  // spelling), each value is made anew in that order.
  const bool inOrder = listed.size() == browsers.size() &&
                       std::equal(listed.begin(), listed.end(), browsers.begin(),
                                  [](const std::string& name, const auto& rule) { return rule.DisplayName == name; });
  if (inOrder) return;
  for (const settings::BrowserRule& rule : browsers) {
    RegDeleteValueA(key.get(), rule.DisplayName.c_str());
    write(rule);
  }
}

}  // namespace

std::string siteKeyPath(int site) { return std::string(settings::kSitesKeyPath) + "\\" + std::to_string(site); }

std::string joinExtensions(const std::vector<ExtensionName>& list) {
  std::string out;
  for (const auto& item : list) out += (out.empty() ? "" : ",") + item.str();
  return out;
}

std::string joinPaths(const std::vector<Path>& list) {
  std::string out;
  for (const auto& item : list) out += (out.empty() ? "" : ",") + item.str();
  return out;
}

LoadOutcome loadWorkingCopy(int site, const std::string& homeFolder, WorkingCopy& copy) {
  copy = WorkingCopy{};
  UniqueKey key;
  if (openSite(site, KEY_ALL_ACCESS, key)) {
    readExisting(key.get(), copy);
    readBrowsers(site, copy);
    return LoadOutcome::kLoaded;
  }
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, siteKeyPath(site).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
    return LoadOutcome::kFailed;
  createWithDefaults(key.get(), homeFolder, copy);
  return LoadOutcome::kCreated;
}

bool storeSiteText(int site, const char* name, std::string_view text) {
  UniqueKey key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, siteKeyPath(site).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                      nullptr, key.put(), nullptr) != ERROR_SUCCESS)
    return false;
  const std::string data(text);
  return RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
}

bool storeIfSiteExists(int site, const char* name, std::string_view text) {
  UniqueKey key;
  if (!openSite(site, KEY_SET_VALUE, key)) return false;
  writeText(key.get(), name, text);
  return true;
}

std::optional<std::string> readSiteText(int site, const char* name) {
  UniqueKey key;
  if (!openSite(site, KEY_QUERY_VALUE, key)) return std::nullopt;
  return readText(key.get(), name);
}

void applyWorkingCopy(int site, const WorkingCopy& copy) {
  for (const NumberField& f : kNumberFields)
    if ((copy.*f.member).known) storeSiteText(site, f.name, std::to_string((copy.*f.member).value));
  for (const TextField& f : kTextFields)
    if ((copy.*f.member).known) storeSiteText(site, f.name, std::string_view((copy.*f.member).value));
  if (copy.FileExtensions.known) storeSiteText(site, "FileExtensions", settings::formatExtensionList(copy.FileExtensions.value));
  if (copy.CacheExt.known) storeSiteText(site, "CacheExt", joinExtensions(copy.CacheExt.value));
  if (copy.NewExclude.known) storeSiteText(site, "NewExclude", joinPaths(copy.NewExclude.value));
  if (copy.MimeTypes.known) {
    UniqueKey key;
    if (openSite(site, KEY_SET_VALUE, key)) {
      const std::string data = settings::formatMimeTypes(copy.MimeTypes.value);
      RegSetValueExA(key.get(), "MimeTypes", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                     static_cast<DWORD>(data.size()));
    }
  }
  if (copy.Browsers.known) applyBrowsers(site, copy.Browsers.value, copy.UnreadBrowsers);
}

}  // namespace console
