#include "w3svc/server_config.h"

#include <cctype>
#include <cstdlib>

#include "platform/metabase/admin_base.h"
#include "platform/metabase/metabase_store.h"
#include "platform/text/ascii_case.h"

namespace w3svc {

namespace {

using platform::metabase::KeyId;
using platform::metabase::Property;
using platform::metabase::Store;

// Used when neither the site nor the service names script maps: CGI programs that run
// themselves, and Perl scripts through the host's perl.
const std::vector<std::string> kDefaultScriptMaps = {".cgi,", ".pl,Z:\\usr\\bin\\perl %s"};

std::string trim(std::string text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  std::size_t start = 0;
  while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  return text.substr(start);
}

// The property on the key itself, else on the nearest parent that marks it inheritable.
std::optional<Property> inherited(Store& store, KeyId key, DWORD id) {
  if (auto own = store.property(key, id)) return own;
  for (auto at = store.parent(key); at; at = store.parent(*at)) {
    if (auto p = store.property(*at, id); p && (p->attributes & METADATA_INHERIT)) return p;
  }
  return std::nullopt;
}

std::vector<std::string> strings(Store& store, KeyId key, DWORD id) {
  auto p = inherited(store, key, id);
  return p ? platform::metabase::dataStrings(*p) : std::vector<std::string>{};
}

std::string text(Store& store, KeyId key, DWORD id) {
  auto items = strings(store, key, id);
  return items.empty() ? std::string() : items.front();
}

std::vector<std::string> splitList(const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    if (std::string item = trim(list.substr(start, comma - start)); !item.empty()) items.push_back(item);
    start = comma + 1;
  }
  return items;
}

SiteConfig readSite(Store& store, KeyId siteKey, DWORD id) {
  SiteConfig site;
  site.id = id;
  site.comment = text(store, siteKey, MD_SERVER_COMMENT);
  for (const std::string& entry : strings(store, siteKey, MD_SERVER_BINDINGS))
    if (auto binding = parseBinding(entry)) site.bindings.push_back(*binding);
  const KeyId root = store.child(siteKey, "Root").value_or(siteKey);
  site.rootPath = text(store, root, MD_VR_PATH);
  while (site.rootPath.size() > 3 && (site.rootPath.back() == '\\' || site.rootPath.back() == '/'))
    site.rootPath.pop_back();
  site.defaultDocuments = splitList(text(store, root, MD_DEFAULT_LOAD_FILE));
  site.mime.apply(strings(store, root, MD_MIME_MAP));
  std::vector<std::string> maps = strings(store, root, MD_SCRIPT_MAPS);
  if (!inherited(store, root, MD_SCRIPT_MAPS)) maps = kDefaultScriptMaps;
  for (const std::string& entry : maps)
    if (auto map = parseScriptMap(entry)) site.scriptMaps.push_back(*map);
  return site;
}

}  // namespace

std::optional<Binding> parseBinding(const std::string& text) {
  const std::size_t first = text.find(':');
  if (first == std::string::npos) return std::nullopt;
  const std::size_t second = text.find(':', first + 1);
  const std::string port = text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  const long number = std::strtol(port.c_str(), nullptr, 10);
  if (number < 1 || number > 65535) return std::nullopt;
  Binding binding;
  binding.ip = trim(text.substr(0, first));
  binding.port = static_cast<std::uint16_t>(number);
  if (second != std::string::npos) binding.host = trim(text.substr(second + 1));
  return binding;
}

std::optional<ScriptMap> parseScriptMap(const std::string& text) {
  const std::size_t comma = text.find(',');
  if (comma == std::string::npos || comma < 2 || text[0] != '.') return std::nullopt;
  ScriptMap map;
  for (char c : text.substr(0, comma)) map.extension += platform::text::lowerAscii(c);
  std::string rest = text.substr(comma + 1);
  // A trailing ",<flags>" (digits) belongs to the map, not to the command line.
  if (const std::size_t flags = rest.rfind(','); flags != std::string::npos &&
                                                 rest.find_first_not_of("0123456789", flags + 1) == std::string::npos)
    rest.resize(flags);
  map.interpreter = trim(rest);
  return map;
}

std::optional<ServerConfig> loadServerConfig(std::string& error) {
  Store* store = Store::current();
  if (!store) {
    error = "the metabase cannot be opened";
    return std::nullopt;
  }
  std::lock_guard lock(store->mutex());
  const auto service = store->resolve(platform::metabase::kRootKey, "/LM/W3SVC");
  if (!service) {
    error = "the metabase has no /LM/W3SVC";
    return std::nullopt;
  }
  ServerConfig config;
  for (const auto& [key, name] : store->children(*service)) {
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos || name.size() > 9) continue;
    config.sites.push_back(readSite(*store, key, static_cast<DWORD>(std::strtoul(name.c_str(), nullptr, 10))));
  }
  if (const auto filters = store->child(*service, "Filters")) {
    for (const std::string& name : splitList(text(*store, *filters, MD_FILTER_LOAD_ORDER))) {
      FilterEntry entry{name, ""};
      if (auto key = store->child(*filters, name)) entry.imagePath = text(*store, *key, MD_FILTER_IMAGE_PATH);
      config.filters.push_back(std::move(entry));
    }
  }
  return config;
}

}  // namespace w3svc
