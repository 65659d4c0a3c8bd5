#include "tools/adsutil/adsutil_commands.h"

#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <iostream>

#include "platform/fs/windows_path.h"
#include "platform/metabase/admin_base.h"
#include "platform/metabase/metabase_store.h"
#include "platform/text/ascii_case.h"
#include "tools/adsutil/property_names.h"

namespace tools::adsutil {

namespace {

using platform::metabase::KeyId;
using platform::metabase::Property;
using platform::metabase::Store;

// "W3SVC/1/Root" and "/LM/W3SVC/1/Root" both name /LM/W3SVC/1/Root.
std::string fullPath(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  while (!path.empty() && path.front() == '/') path.erase(0, 1);
  while (!path.empty() && path.back() == '/') path.pop_back();
  if (path.size() >= 2 && platform::text::equalsNoCase(path.substr(0, 2), "LM") && (path.size() == 2 || path[2] == '/'))
    return "/" + path;
  return path.empty() ? "/LM" : "/LM/" + path;
}

// The last component as a property (a known name or a number), and the key above it.
struct PropertyPath {
  std::string key;
  PropertyName property;
};

std::optional<PropertyPath> splitProperty(const std::string& path, Store& store) {
  std::string full = fullPath(path);
  std::size_t slash = full.rfind('/');
  std::string last = full.substr(slash + 1);
  std::string key = full.substr(0, slash);
  if (auto known = propertyByName(last)) return PropertyPath{key, *known};
  char* end = nullptr;
  unsigned long id = std::strtoul(last.c_str(), &end, 10);
  if (last.empty() || *end != '\0') return std::nullopt;
  if (auto known = propertyById(static_cast<DWORD>(id))) return PropertyPath{key, *known};
  // An unknown identifier keeps the type it already has, else it is a string.
  PropertyName generic{"", static_cast<DWORD>(id), IIS_MD_UT_SERVER, STRING_METADATA, METADATA_NO_ATTRIBUTES};
  if (auto at = store.resolve(platform::metabase::kRootKey, key)) {
    if (auto p = store.property(*at, generic.id)) {
      generic.userType = p->userType;
      generic.dataType = p->dataType;
      generic.attributes = p->attributes;
    }
  }
  return PropertyPath{key, generic};
}

std::string displayName(const Property& p) {
  if (auto known = propertyById(p.id)) return known->name;
  return std::to_string(p.id);
}

std::string quote(const std::string& s) { return "\"" + s + "\""; }

std::string showValue(const Property& p) {
  switch (p.dataType) {
    case DWORD_METADATA: {
      DWORD v = 0;
      for (std::size_t i = 0; i < 4 && i < p.data.size(); ++i) v |= static_cast<DWORD>(p.data[i]) << (8 * i);
      return "(INTEGER) " + std::to_string(v);
    }
    case STRING_METADATA:
    case EXPANDSZ_METADATA: {
      auto items = platform::metabase::dataStrings(p);
      return std::string(p.dataType == STRING_METADATA ? "(STRING) " : "(EXPANDSZ) ") +
             quote(items.empty() ? "" : items[0]);
    }
    case MULTISZ_METADATA: {
      auto items = platform::metabase::dataStrings(p);
      std::string out = "(LIST) (" + std::to_string(items.size()) + " Items)";
      for (const auto& item : items) out += " " + quote(item);
      return out;
    }
    default: {
      std::string out = "(BINARY)";
      char buffer[4];
      for (auto b : p.data) {
        std::snprintf(buffer, sizeof(buffer), " %02X", b);
        out += buffer;
      }
      return out;
    }
  }
}

void printProperty(std::ostream& out, const Property& p) {
  out << std::left << std::setw(32) << displayName(p) << ": " << showValue(p) << "\n";
}

int fail(std::ostream& err, const std::string& message) {
  err << "ErrNumber: -2147024893 (0x80070003)\nError Trying To " << message << "\n";
  return 1;
}

int get(Store& store, const std::string& path, std::ostream& out, std::ostream& err) {
  auto pp = splitProperty(path, store);
  if (!pp) return fail(err, "GET the Property: " + path);
  auto key = store.resolve(platform::metabase::kRootKey, pp->key);
  // An inherited read, as the script does through ADSI.
  for (auto at = key; at; at = store.parent(*at)) {
    auto p = store.property(*at, pp->property.id);
    if (p && (at == key || (p->attributes & METADATA_INHERIT))) {
      printProperty(out, *p);
      return 0;
    }
  }
  err << "The parameter \"" << path << "\" is not set at this node.\n";
  return 1;
}

int set(Store& store, const std::string& path, const std::vector<std::string>& values, std::ostream& out,
        std::ostream& err) {
  auto pp = splitProperty(path, store);
  if (!pp) return fail(err, "SET the Property: " + path + " (unknown property name)");
  auto key = store.resolve(platform::metabase::kRootKey, pp->key);
  if (!key) return fail(err, "GET the Object: " + pp->key);
  Property p{pp->property.id, pp->property.attributes, pp->property.userType, pp->property.dataType, {}};
  if (p.dataType == STRING_METADATA && values.size() > 1 && pp->property.name[0] == '\0') p.dataType = MULTISZ_METADATA;
  switch (p.dataType) {
    case DWORD_METADATA: {
      char* end = nullptr;
      unsigned long long v = values.size() == 1 ? std::strtoull(values[0].c_str(), &end, 0) : 0;
      if (values.size() != 1 || *end != '\0' || values[0].empty() || v > 0xFFFFFFFFull) {
        err << "Error: " << displayName(p) << " takes one number.\n";
        return 1;
      }
      p.data = platform::metabase::dwordData(static_cast<DWORD>(v));
      break;
    }
    case MULTISZ_METADATA:
      p.data = platform::metabase::multiStringData(values);
      break;
    default: {
      std::string joined;
      for (const auto& v : values) joined += (joined.empty() ? "" : " ") + v;
      p.data = platform::metabase::stringData(joined);
      p.dataType = p.dataType == EXPANDSZ_METADATA ? EXPANDSZ_METADATA : STRING_METADATA;
    }
  }
  if (!store.setProperty(*key, p)) return fail(err, "SET the Property: " + path);
  printProperty(out, p);
  return 0;
}

int enumerate(Store& store, const std::string& path, std::ostream& out, std::ostream& err) {
  std::string full = fullPath(path);
  auto key = store.resolve(platform::metabase::kRootKey, full);
  if (!key) return fail(err, "ENUM the Object: " + full);
  for (const Property& p : store.properties(*key)) printProperty(out, p);
  out << "\n";
  const std::string shown = full.substr(3);  // the script shows paths below /LM
  for (const auto& child : store.children(*key)) out << "[" << shown << "/" << child.second << "]\n";
  return 0;
}

int remove(Store& store, const std::string& path, std::ostream& out, std::ostream& err) {
  std::string full = fullPath(path);
  if (auto key = store.resolve(platform::metabase::kRootKey, full)) {
    if (full == "/LM" || !store.deleteKeyTree(*key)) return fail(err, "DELETE the Object: " + full);
    out << "deleted path " << quote(full.substr(4)) << "\n";
    return 0;
  }
  auto pp = splitProperty(path, store);
  auto key = pp ? store.resolve(platform::metabase::kRootKey, pp->key) : std::nullopt;
  if (!key || !store.deleteProperty(*key, pp->property.id, 0)) return fail(err, "DELETE the Property: " + full);
  out << "deleted property " << quote(displayName(Property{pp->property.id, 0, 0, 0, {}})) << "\n";
  return 0;
}

int create(Store& store, const std::string& path, const std::string& keyType, std::ostream& out, std::ostream& err) {
  std::string full = fullPath(path);
  platform::sqlite::Transaction tx(store.db());
  auto key = store.createPath(platform::metabase::kRootKey, full);
  if (!key) return fail(err, "CREATE the Object: " + full + " (it exists)");
  if (!keyType.empty())
    store.setProperty(*key, Property{MD_KEY_TYPE, 0, IIS_MD_UT_SERVER, STRING_METADATA,
                                     platform::metabase::stringData(keyType)});
  if (keyType == "IIsWebServer") {
    auto root = store.createChild(*key, "Root");
    if (root)
      store.setProperty(*root, Property{MD_KEY_TYPE, 0, IIS_MD_UT_SERVER, STRING_METADATA,
                                        platform::metabase::stringData("IIsWebVirtualDir")});
  }
  if (!tx.commit()) return fail(err, "CREATE the Object: " + full);
  out << "created " << quote(full.substr(4)) << "\n";
  return 0;
}

void usage(std::ostream& out) {
  out << "Usage:\n"
         "      ADSUTIL.VBS CMD [param param]\n\n"
         "Commands:\n"
         "  GET           Display chosen parameter          adsutil get W3SVC/1/ServerComment\n"
         "  SET           Assign chosen parameter           adsutil set W3SVC/1/ServerBindings \":8080:\"\n"
         "  ENUM          Enumerate parameters and keys     adsutil enum W3SVC/1\n"
         "  DELETE        Delete a parameter or a key       adsutil delete W3SVC/2\n"
         "  CREATE        Create a key [of a key type]      adsutil create W3SVC/Filters/X IIsFilter\n"
         "  CREATE_VSERV  Create a web site with its Root   adsutil create_vserv W3SVC/2\n\n"
         "Properties by name (ServerComment, ServerBindings, Path, DefaultDoc, AnonymousUserName,\n"
         "FilterLoadOrder, FilterPath, FilterState, FilterDescription, KeyType, ...) or by number.\n"
         "The machine is the folder named by TAMSIC_MACHINE.\n";
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty() || args[0] == "/?" || args[0] == "help" || args[0] == "--help") {
    usage(out);
    return args.empty() ? 1 : 0;
  }
  Store* store = Store::current();
  if (!store) {
    err << "Error: the machine's metabase cannot be opened.\n";
    return 1;
  }
  std::lock_guard lock(store->mutex());
  const std::string verb = lower(args[0]);
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (verb == "get" && rest.size() == 1) return get(*store, rest[0], out, err);
  if (verb == "set" && rest.size() >= 2) return set(*store, rest[0], {rest.begin() + 1, rest.end()}, out, err);
  if (verb == "enum" && rest.size() <= 1) return enumerate(*store, rest.empty() ? "" : rest[0], out, err);
  if (verb == "delete" && rest.size() == 1) return remove(*store, rest[0], out, err);
  if (verb == "create" && (rest.size() == 1 || rest.size() == 2))
    return create(*store, rest[0], rest.size() == 2 ? rest[1] : "", out, err);
  if (verb == "create_vserv" && rest.size() == 1) return create(*store, rest[0], "IIsWebServer", out, err);
  usage(err);
  return 1;
}

}  // namespace tools::adsutil
