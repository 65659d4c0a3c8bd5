#pragma once
// What the web server reads from the metabase at start: its sites and the filters of the
// load order. Read once; a change needs a restart of the service, as on IIS.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win_types.h"
#include "w3svc/mime_map.h"

namespace w3svc {

// One "ip:port:host" of ServerBindings; an empty ip means all addresses, an empty host any.
struct Binding {
  std::string ip;
  std::uint16_t port = 0;
  std::string host;
};

// A script map: files with this extension run as CGI programs. An empty interpreter runs
// the file itself; otherwise the interpreter's command line with "%s" for the file.
struct ScriptMap {
  std::string extension;  // lower case, with its dot
  std::string interpreter;
};

struct SiteConfig {
  DWORD id = 0;
  std::string comment;
  std::vector<Binding> bindings;
  std::string rootPath;  // Windows path of the home directory
  std::vector<std::string> defaultDocuments;
  MimeMap mime = MimeMap::withDefaults();
  std::vector<ScriptMap> scriptMaps;
};

struct FilterEntry {
  std::string name;
  std::string imagePath;  // Windows path
};

struct ServerConfig {
  std::vector<SiteConfig> sites;
  std::vector<FilterEntry> filters;  // in load order
};

// "ip:port:host" -> Binding; nullopt for an entry without a valid port.
std::optional<Binding> parseBinding(const std::string& text);
// ".ext,<interpreter>[,flags]" -> ScriptMap.
std::optional<ScriptMap> parseScriptMap(const std::string& text);

// nullopt with error set when the metabase cannot be read.
std::optional<ServerConfig> loadServerConfig(std::string& error);

}  // namespace w3svc
