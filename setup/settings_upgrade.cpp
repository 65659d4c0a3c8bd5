#include "setup/settings_upgrade.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/registry/unique_key.h"
#include "platform/text/ascii_case.h"
#include "settings/registry_layout.h"
#include "settings/rule_lists.h"

namespace setup {

namespace {

// Key names are read into a buffer of this size, as the old stores were; values are read whole.
constexpr DWORD kBufferBytes = 1024;

std::optional<UniqueKey> openKey(const std::string& path) {
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) return std::nullopt;
  return key;
}

// A value's text, read whole: sized first, so a value longer than the old stores' buffers
// is never taken for a missing one (that replaced a long "NewExclude" with the default).
std::optional<std::string> readText(HKEY key, const char* name) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    std::string buffer(size, '\0');
    DWORD type = REG_NONE;
    const LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer.data()), &size);
    if (rc == ERROR_MORE_DATA) continue;  // grown meanwhile
    if (rc != ERROR_SUCCESS) return std::nullopt;
    // Text up to its first NUL, as every reader of the store takes it: a multi-string's
    // second NUL, or NULs written inside a value, are no part of what is copied on. A level
    // stored as a number is copied as its digits, as the loader reads it.
    buffer.resize(size);
    return settings::scalarText(type, buffer);
  }
  return std::nullopt;
}

bool hasValue(HKEY key, const char* name) {
  return RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::vector<std::string> subKeys(HKEY key) {
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    char name[kBufferBytes];
    DWORD chars = sizeof(name);
    if (RegEnumKeyExA(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, chars);
  }
  return names;
}

bool writeText(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool writeStrings(HKEY key, const char* name, const std::vector<std::string>& strings) {
  std::string data;
  for (const std::string& s : strings) data += s + '\0';
  data += '\0';
  return RegSetValueExA(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

std::string exclusionPatterns(const std::string& list) {
  std::string out;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = list.find(',', start);
    std::string entry = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (platform::text::equalsNoCase(entry, ".dll")) entry = "*.dll";
    if (platform::text::equalsNoCase(entry, ".exe")) entry = "*.exe";
    out += (start ? "," : "") + entry;
    if (comma == std::string::npos) return out;
    start = comma + 1;
  }
}

// The "Compress" and "Level" of a rule key; nullopt when the key or a value is missing.
struct RuleValues {
  std::string compress;
  std::string level;
};
std::optional<RuleValues> ruleValues(const std::string& path) {
  auto key = openKey(path);
  if (!key) return std::nullopt;
  auto compress = readText(key->get(), "Compress");
  auto level = readText(key->get(), "Level");
  if (!compress || !level) return std::nullopt;
  return RuleValues{*compress, *level};
}

// A rule whose name or values hold a comma cannot be an item of the new lists: written,
// it would split into other items, and the loader would drop the whole list as broken.
// Such a rule is left out; its old key stays.
bool listable(const std::string& name, const RuleValues& values) {
  return settings::canHoldListItem(name) && settings::canHoldListItem(values.compress) &&
         settings::canHoldListItem(values.level);
}

std::string listed(const std::string& name, const RuleValues& values) {
  return name + "," + values.compress + "," + values.level;
}

// The strings of a MIME tree below `path`: type,compress,level[,subtype,compress,level...]
// per type key; `first` starts the first string. nullopt when any key or value fails.
std::optional<std::vector<std::string>> typeStrings(const std::string& path, const std::string& first) {
  auto key = openKey(path);
  if (!key) return std::nullopt;
  std::vector<std::string> strings;
  std::string start = first;
  for (const std::string& type : subKeys(key->get())) {
    const std::string typePath = path + "\\" + type;
    auto values = ruleValues(typePath);
    if (!values) return std::nullopt;
    auto typeKey = openKey(typePath);
    if (!typeKey) return std::nullopt;
    std::string text = start + listed(type, *values);
    for (const std::string& subtype : subKeys(typeKey->get())) {
      auto subValues = ruleValues(typePath + "\\" + subtype);
      if (!subValues) return std::nullopt;
      if (listable(subtype, *subValues)) text += "," + listed(subtype, *subValues);
    }
    if (!listable(type, *values)) continue;
    start.clear();
    strings.push_back(std::move(text));
  }
  // A browser without type keys still has its search term, alone: the comma announces MIME
  // entries, and "term," with none after it is a broken value to the loader.
  if (strings.empty() && !first.empty()) strings.push_back(first.substr(0, first.size() - 1));
  return strings;
}

enum class SiteOutcome { kNext, kStop };

SiteOutcome upgradeSite(const std::string& name) {
  const std::string sitePath = std::string(settings::kSitesKeyPath) + "\\" + name;
  auto site = openKey(sitePath);
  if (!site) return SiteOutcome::kStop;
  // Converted already. The sites after it may not be: a site the new filter or console made
  // first (one the old store had no rules for) stands before old ones in the list.
  if (hasValue(site->get(), "FileExtensions")) return SiteOutcome::kNext;

  const auto exclude = readText(site->get(), "NewExclude");
  writeText(site->get(), "NewExclude", exclude ? exclusionPatterns(*exclude) : "*.dll,*.exe");

  // "FileExtensions" marks the site converted, so it is written even when the old store had
  // no extension rules: without it the loader would wait for a conversion already made, and
  // a second run would convert the old trees again over what was changed since.
  std::string list;
  if (auto extensions = openKey(sitePath + "\\FileExtensions")) {
    for (const std::string& extension : subKeys(extensions->get())) {
      auto rule = openKey(sitePath + "\\FileExtensions\\" + extension);
      if (!rule) return SiteOutcome::kStop;
      auto level = readText(rule->get(), "Level");
      if (!level) return SiteOutcome::kStop;
      if (!settings::canHoldListItem(extension) || !settings::canHoldListItem(*level)) continue;
      list += (list.empty() ? "" : ",") + extension + "," + *level;
    }
  }

  if (openKey(sitePath + "\\MimeTypes")) {
    auto strings = typeStrings(sitePath + "\\MimeTypes", "");
    if (!strings || !writeStrings(site->get(), "MimeTypes", *strings)) return SiteOutcome::kStop;
  }

  if (auto browsers = openKey(sitePath + "\\Browsers")) {
    if (hasValue(browsers->get(), "Internet Explorer")) return SiteOutcome::kStop;
    for (const std::string& browser : subKeys(browsers->get())) {
      const std::string browserPath = sitePath + "\\Browsers\\" + browser;
      auto key = openKey(browserPath);
      if (!key) return SiteOutcome::kStop;
      auto term = readText(key->get(), "SearchTerm");
      if (!term) return SiteOutcome::kStop;
      // A term with a comma would read as its first part and broken MIME rules, and the
      // loader would drop every browser of the site: this browser is left out instead.
      if (!settings::canHoldListItem(*term)) continue;
      auto strings = typeStrings(browserPath, *term + ",");
      if (!strings || !writeStrings(browsers->get(), browser.c_str(), *strings)) return SiteOutcome::kStop;
    }
  }
  if (!writeText(site->get(), "FileExtensions", list)) return SiteOutcome::kStop;
  return SiteOutcome::kNext;
}

}  // namespace

void UpgradeSettings() {
  auto global = openKey(settings::kGlobalKeyPath);
  if (!global) return;
  const auto version = readText(global->get(), settings::kVersionValue);
  if (!version || version->size() < 8) return;
  // One character each, read as a number as the C runtime would (a non-digit reads as 0).
  auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : 0; };
  const int major = digit((*version)[0]);
  const int minor = digit((*version)[2]);
  if (!(major < 1 || (major == 1 && minor <= 4))) return;
  auto sites = openKey(settings::kSitesKeyPath);
  if (!sites) return;
  for (const std::string& name : subKeys(sites->get()))
    if (upgradeSite(name) == SiteOutcome::kStop) return;
}

}  // namespace setup
