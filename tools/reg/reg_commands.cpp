#include "tools/reg/reg_commands.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>

#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"

namespace tools::reg {

namespace {

using platform::registry::hiveName;
using platform::registry::splitRootedKey;

constexpr const char* kSuccess = "The operation completed successfully.";
constexpr const char* kNotFound = "ERROR: The system was unable to find the specified registry key or value.";

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Switches ("/v NAME", "/f") after the key; positional words kept in order.
struct Options {
  std::vector<std::string> words;
  std::map<std::string, std::optional<std::string>> switches;
  bool has(const std::string& s) const { return switches.count(s) != 0; }
  std::optional<std::string> value(const std::string& s) const {
    auto it = switches.find(s);
    return it == switches.end() ? std::nullopt : it->second;
  }
};

// sepSwitch: "/s" takes a separator (add) instead of meaning recursion (query).
bool parseOptions(const std::vector<std::string>& args, std::size_t from, bool sepSwitch, Options& o) {
  static const char* kWithValue[] = {"/V", "/T", "/D", "/S", "/SE"};
  for (std::size_t i = from; i < args.size(); ++i) {
    const std::string& a = args[i];
    static const char* kKnown[] = {"/V", "/VE", "/VA", "/T", "/S", "/SE", "/D", "/F", "/Y", "/?"};
    std::string name = a.size() > 1 && (a[0] == '/' || a[0] == '-') ? "/" + upper(a.substr(1)) : "";
    bool isSwitch = false;
    for (const char* k : kKnown) isSwitch |= name == k;
    // Anything else starting with '/' is a word: a host file name for export and import.
    if (isSwitch) {
      bool takesValue = false;
      for (const char* v : kWithValue) takesValue |= name == v;
      if (name == "/S" && !sepSwitch) takesValue = false;
      if (o.switches.count(name)) return false;
      if (takesValue) {
        if (i + 1 >= args.size()) return false;
        o.switches[name] = args[++i];
      } else {
        o.switches[name] = std::nullopt;
      }
    } else {
      o.words.push_back(a);
    }
  }
  return true;
}

int syntaxError(std::ostream& err, const std::string& op) {
  err << "ERROR: Invalid syntax.\nType \"REG " << upper(op) << " /?\" for usage.\n";
  return 1;
}

bool confirm(std::istream& in, std::ostream& out, const std::string& question) {
  out << question << " (Yes/No)? " << std::flush;
  std::string answer;
  if (!std::getline(in, answer)) {
    out << "\n";
    return false;
  }
  answer = upper(answer);
  return answer == "Y" || answer == "YES";
}

const char* typeName(DWORD type) {
  switch (type) {
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_NONE: return "REG_NONE";
    default: return "REG_UNKNOWN";
  }
}

std::optional<DWORD> typeFromName(const std::string& name) {
  const std::string n = upper(name);
  for (DWORD t : {REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_NONE})
    if (n == typeName(t)) return t;
  return std::nullopt;
}

std::string showData(DWORD type, const std::vector<BYTE>& data) {
  std::string_view bytes(reinterpret_cast<const char*>(data.data()), data.size());
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return std::string(bytes.substr(0, bytes.find('\0')));
    case REG_MULTI_SZ: {
      std::string out;
      std::size_t pos = 0;
      while (pos < bytes.size()) {
        std::size_t end = bytes.find('\0', pos);
        if (end == std::string_view::npos) end = bytes.size();
        if (end == pos) break;
        if (!out.empty()) out += "\\0";
        out += bytes.substr(pos, end - pos);
        pos = end + 1;
      }
      return out;
    }
    case REG_DWORD:
      if (data.size() == 4) {
        char buffer[16];
        std::snprintf(buffer, sizeof(buffer), "0x%x",
                      data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<unsigned>(data[3]) << 24));
        return buffer;
      }
      [[fallthrough]];
    default: {
      std::string out;
      char buffer[4];
      for (BYTE b : data) {
        std::snprintf(buffer, sizeof(buffer), "%02X", b);
        out += buffer;
      }
      return out;
    }
  }
}

// A key handle closed on scope exit.
struct Key {
  HKEY h = nullptr;
  ~Key() {
    if (h) RegCloseKey(h);
  }
};

struct Entry {
  std::string name;
  DWORD type;
  std::vector<BYTE> data;
};

std::vector<Entry> valuesOf(HKEY key) {
  std::vector<Entry> out;
  for (DWORD i = 0;; ++i) {
    char name[kMaxRegValueNameChars + 1];
    DWORD nameChars = sizeof(name);
    DWORD type = 0, size = 0;
    if (RegEnumValueA(key, i, name, &nameChars, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    Entry e{std::string(name, nameChars), type, std::vector<BYTE>(size)};
    nameChars = sizeof(name);
    if (RegEnumValueA(key, i, name, &nameChars, nullptr, &type, e.data.data(), &size) != ERROR_SUCCESS) break;
    e.data.resize(size);
    out.push_back(std::move(e));
  }
  return out;
}

std::vector<std::string> subKeysOf(HKEY key) {
  std::vector<std::string> out;
  for (DWORD i = 0;; ++i) {
    char name[kMaxRegKeyNameChars + 1];
    DWORD chars = sizeof(name);
    if (RegEnumKeyExA(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    out.emplace_back(name, chars);
  }
  return out;
}

void printValue(std::ostream& out, const Entry& e) {
  out << "    " << (e.name.empty() ? "(Default)" : e.name) << "    " << typeName(e.type) << "    "
      << showData(e.type, e.data) << "\n";
}

void queryTree(HKEY key, const std::string& name, std::ostream& out, std::size_t& matches) {
  out << name << "\n";
  for (const Entry& e : valuesOf(key)) printValue(out, e);
  out << "\n";
  for (const std::string& child : subKeysOf(key)) {
    Key sub;
    if (RegOpenKeyExA(key, child.c_str(), 0, KEY_READ, &sub.h) == ERROR_SUCCESS)
      queryTree(sub.h, name + "\\" + child, out, matches);
  }
  ++matches;
}

bool openRooted(const std::string& text, REGSAM access, Key& key, std::string& shown) {
  HKEY hive;
  std::string sub;
  if (!splitRootedKey(text, hive, sub)) return false;
  shown = hiveName(hive) + (sub.empty() ? "" : "\\" + sub);
  while (!shown.empty() && shown.back() == '\\') shown.pop_back();
  return RegOpenKeyExA(hive, sub.c_str(), 0, access, &key.h) == ERROR_SUCCESS;
}

int query(const Options& o, std::ostream& out, std::ostream& err) {
  if (o.words.size() != 1) return syntaxError(err, "query");
  Key key;
  std::string shown;
  HKEY hive;
  std::string sub;
  if (!splitRootedKey(o.words[0], hive, sub)) {
    err << "ERROR: Invalid key name.\n";
    return 1;
  }
  if (!openRooted(o.words[0], KEY_READ, key, shown)) {
    err << kNotFound << "\n";
    return 1;
  }
  if (o.has("/V") || o.has("/VE")) {
    const std::string want = upper(o.has("/VE") ? "" : *o.value("/V"));
    // Show the value under its stored spelling, whatever case was typed.
    std::optional<Entry> found;
    for (Entry& e : valuesOf(key.h))
      if (upper(e.name) == want) found = std::move(e);
    if (!found) {
      err << kNotFound << "\n";
      return 1;
    }
    const Entry& e = *found;
    out << "\n" << shown << "\n";
    printValue(out, e);
    out << "\n";
    return 0;
  }
  out << "\n";
  if (o.has("/S")) {
    std::size_t matches = 0;
    queryTree(key.h, shown, out, matches);
    out << "End of search: " << matches << " match(es) found.\n";
    return 0;
  }
  out << shown << "\n";
  for (const Entry& e : valuesOf(key.h)) printValue(out, e);
  out << "\n";
  for (const std::string& child : subKeysOf(key.h)) out << shown << "\\" << child << "\n";
  return 0;
}

bool encodeData(DWORD type, const std::string& text, const std::string& separator, std::vector<BYTE>& data,
                std::string& why) {
  data.clear();
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      data.assign(text.begin(), text.end());
      data.push_back(0);
      return true;
    case REG_MULTI_SZ: {
      std::size_t pos = 0;
      while (pos <= text.size() && !text.empty()) {
        std::size_t end = text.find(separator, pos);
        if (end == std::string::npos) end = text.size();
        std::string item = text.substr(pos, end - pos);
        if (item.empty()) {
          why = "ERROR: Invalid syntax. An empty string is not allowed inside REG_MULTI_SZ data.";
          return false;
        }
        data.insert(data.end(), item.begin(), item.end());
        data.push_back(0);
        pos = end + separator.size();
      }
      data.push_back(0);
      return true;
    }
    case REG_DWORD: {
      char* end = nullptr;
      errno = 0;
      unsigned long long v = std::strtoull(text.c_str(), &end, 0);
      if (text.empty() || *end != '\0' || errno || v > 0xFFFFFFFFull || text[0] == '-') {
        why = "ERROR: Invalid value for REG_DWORD: " + text;
        return false;
      }
      for (int i = 0; i < 4; ++i) data.push_back(static_cast<BYTE>(v >> (8 * i)));
      return true;
    }
    case REG_BINARY:
    case REG_NONE: {
      if (text.size() % 2) {
        why = "ERROR: Invalid hexadecimal data: " + text;
        return false;
      }
      for (std::size_t i = 0; i < text.size(); i += 2) {
        char pair[3] = {text[i], text[i + 1], 0};
        char* end = nullptr;
        long v = std::strtol(pair, &end, 16);
        if (*end != '\0' || !std::isxdigit(static_cast<unsigned char>(pair[0]))) {
          why = "ERROR: Invalid hexadecimal data: " + text;
          return false;
        }
        data.push_back(static_cast<BYTE>(v));
      }
      return true;
    }
    default:
      why = "ERROR: Invalid type.";
      return false;
  }
}

int add(const Options& o, std::istream& in, std::ostream& out, std::ostream& err) {
  if (o.words.size() != 1 || (o.has("/V") && o.has("/VE"))) return syntaxError(err, "add");
  HKEY hive;
  std::string sub;
  if (!splitRootedKey(o.words[0], hive, sub)) {
    err << "ERROR: Invalid key name.\n";
    return 1;
  }
  DWORD type = REG_SZ;
  if (auto t = o.value("/T")) {
    auto parsed = typeFromName(*t);
    if (!parsed) {
      err << "ERROR: Invalid type \"" << *t << "\".\n";
      return 1;
    }
    type = *parsed;
  }
  std::vector<BYTE> data;
  std::string why;
  if (!encodeData(type, o.value("/D").value_or(""), o.value("/S").value_or("\\0"), data, why)) {
    err << why << "\n";
    return 1;
  }
  Key key;
  if (RegCreateKeyExA(hive, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key.h, nullptr) != ERROR_SUCCESS) {
    err << "ERROR: Access is denied.\n";
    return 1;
  }
  if (o.has("/V") || o.has("/VE") || o.has("/D")) {
    const std::string name = o.value("/V").value_or("");
    DWORD size = 0;
    bool exists = RegQueryValueExA(key.h, name.c_str(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
    if (exists && !o.has("/F") &&
        !confirm(in, out, "Value " + (name.empty() ? std::string("(Default)") : name) + " exists, overwrite")) {
      out << "The operation was canceled by the user.\n";
      return 0;
    }
    if (RegSetValueExA(key.h, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())) != ERROR_SUCCESS) {
      err << "ERROR: Access is denied.\n";
      return 1;
    }
  }
  out << kSuccess << "\n";
  return 0;
}

int remove(const Options& o, std::istream& in, std::ostream& out, std::ostream& err) {
  if (o.words.size() != 1) return syntaxError(err, "delete");
  int selectors = o.has("/V") + o.has("/VE") + o.has("/VA");
  if (selectors > 1) return syntaxError(err, "delete");
  HKEY hive;
  std::string sub;
  if (!splitRootedKey(o.words[0], hive, sub)) {
    err << "ERROR: Invalid key name.\n";
    return 1;
  }
  Key key;
  std::string shown;
  if (!openRooted(o.words[0], KEY_ALL_ACCESS, key, shown)) {
    err << kNotFound << "\n";
    return 1;
  }
  if (selectors == 0) {
    if (sub.find_first_not_of('\\') == std::string::npos) {
      err << "ERROR: Access is denied.\n";
      return 1;
    }
    if (!o.has("/F") && !confirm(in, out, "Permanently delete the registry key " + shown)) {
      out << "The operation was canceled by the user.\n";
      return 0;
    }
    if (RegDeleteTreeA(hive, sub.c_str()) != ERROR_SUCCESS) {
      err << "ERROR: Access is denied.\n";
      return 1;
    }
  } else if (o.has("/VA")) {
    if (!o.has("/F") && !confirm(in, out, "Delete all values under the registry key " + shown)) {
      out << "The operation was canceled by the user.\n";
      return 0;
    }
    for (const Entry& e : valuesOf(key.h)) RegDeleteValueA(key.h, e.name.c_str());
  } else {
    const std::string name = o.value("/V").value_or("");
    if (!o.has("/F") &&
        !confirm(in, out, "Delete the registry value " + (name.empty() ? std::string("(Default)") : name))) {
      out << "The operation was canceled by the user.\n";
      return 0;
    }
    if (RegDeleteValueA(key.h, name.c_str()) != ERROR_SUCCESS) {
      err << kNotFound << "\n";
      return 1;
    }
  }
  out << kSuccess << "\n";
  return 0;
}

int exportCommand(const Options& o, std::istream& in, std::ostream& out, std::ostream& err) {
  if (o.words.size() != 2) return syntaxError(err, "export");
  std::string bytes, error;
  if (!platform::registry::exportKey(o.words[0], bytes, error)) {
    err << "ERROR: " << error << "\n";
    return 1;
  }
  const std::string& file = o.words[1];
  if (!o.has("/Y") && std::ifstream(file).good() && !confirm(in, out, "File " + file + " already exists. Overwrite")) {
    out << "The operation was canceled by the user.\n";
    return 0;
  }
  std::ofstream f(file, std::ios::binary | std::ios::trunc);
  if (!(f << bytes) || !f.flush()) {
    err << "ERROR: Cannot write " << file << ".\n";
    return 1;
  }
  out << kSuccess << "\n";
  return 0;
}

int importCommand(const Options& o, std::ostream& out, std::ostream& err) {
  if (o.words.size() != 1) return syntaxError(err, "import");
  std::ifstream f(o.words[0], std::ios::binary);
  if (!f) {
    err << "ERROR: Error opening the file. There may be a disk or file system error.\n";
    return 1;
  }
  std::stringstream buffer;
  buffer << f.rdbuf();
  std::string error;
  if (!platform::registry::importFile(buffer.str(), error)) {
    err << "ERROR: Error accessing the registry. " << o.words[0] << ", " << error << "\n";
    return 1;
  }
  out << kSuccess << "\n";
  return 0;
}

void usage(std::ostream& out) {
  out << "REG Operation [Parameter List]\n\n"
         "  Operation  [ QUERY | ADD | DELETE | IMPORT | EXPORT ]\n\n"
         "  REG QUERY KeyName [/v ValueName | /ve] [/s]\n"
         "  REG ADD KeyName [/v ValueName | /ve] [/t Type] [/s Separator] [/d Data] [/f]\n"
         "  REG DELETE KeyName [/v ValueName | /ve | /va] [/f]\n"
         "  REG EXPORT KeyName FileName [/y]\n"
         "  REG IMPORT FileName\n\n"
         "  KeyName    HKLM\\... or HKEY_LOCAL_MACHINE\\..., HKCR\\... or HKEY_CLASSES_ROOT\\...\n"
         "  Type       REG_SZ | REG_MULTI_SZ | REG_EXPAND_SZ | REG_DWORD | REG_BINARY | REG_NONE\n\n"
         "The machine is the folder named by TAMSIC_MACHINE.\n";
}

}  // namespace

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << "ERROR: Invalid syntax.\nType \"REG /?\" for usage.\n";
    return 1;
  }
  const std::string op = upper(args[0]);
  if (op == "/?" || op == "-?" || op == "/H" || op == "--HELP") {
    usage(out);
    return 0;
  }
  Options o;
  if (!parseOptions(args, 1, op == "ADD", o)) return syntaxError(err, op);
  if (o.has("/?")) {
    usage(out);
    return 0;
  }
  if (op == "QUERY") return query(o, out, err);
  if (op == "ADD") return add(o, in, out, err);
  if (op == "DELETE") return remove(o, in, out, err);
  if (op == "EXPORT") return exportCommand(o, in, out, err);
  if (op == "IMPORT") return importCommand(o, out, err);
  err << "ERROR: Invalid syntax.\nType \"REG /?\" for usage.\n";
  return 1;
}

}  // namespace tools::reg
