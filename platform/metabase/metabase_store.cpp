#include "platform/metabase/metabase_store.h"

#include <unistd.h>

#include <cctype>
#include <map>
#include <system_error>

#include "platform/machine_root.h"
#include "platform/metabase/admin_base.h"
#include "platform/text/wide_text.h"

namespace platform::metabase {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS md_keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER REFERENCES md_keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  UNIQUE(parent, fold));
CREATE TABLE IF NOT EXISTS md_properties(
  key INTEGER NOT NULL REFERENCES md_keys(id) ON DELETE CASCADE,
  ident INTEGER NOT NULL,
  attributes INTEGER NOT NULL,
  user_type INTEGER NOT NULL,
  data_type INTEGER NOT NULL,
  data BLOB NOT NULL,
  PRIMARY KEY(key, ident));
INSERT OR IGNORE INTO md_keys(id, parent, name, fold) VALUES (1, NULL, '', '');
)sql";

std::string fold(std::string_view name) {
  std::string out(name);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// IIS names the anonymous account after the machine: IUSR_<COMPUTERNAME>, the computer name
// upper case and at most 15 characters (a NetBIOS name).
std::string anonymousAccountName() {
  char host[256] = {};
  if (::gethostname(host, sizeof(host) - 1) != 0 || !*host) return "IUSR_TAMSIC";
  std::string name(host);
  name = name.substr(0, name.find('.')).substr(0, 15);
  return "IUSR_" + fold(name);
}

bool fillFreshMachine(Store& store) {
  auto lm = store.createPath(kRootKey, "LM");
  auto w3svc = store.createPath(kRootKey, "LM/W3SVC");
  if (!lm || !w3svc) return false;
  auto set = [&](KeyId key, DWORD id, DWORD attrs, DWORD userType, DWORD type, std::vector<std::uint8_t> data) {
    return store.setProperty(key, Property{id, attrs, userType, type, std::move(data)});
  };
  bool ok = set(*lm, MD_KEY_TYPE, 0, IIS_MD_UT_SERVER, STRING_METADATA, stringData("IIS_ROOT"));
  ok &= set(*w3svc, MD_KEY_TYPE, 0, IIS_MD_UT_SERVER, STRING_METADATA, stringData("IIsWebService"));
  ok &= set(*w3svc, MD_ANONYMOUS_USER_NAME, METADATA_INHERIT, IIS_MD_UT_FILE, STRING_METADATA,
            stringData(anonymousAccountName()));
  ok &= set(*w3svc, MD_DEFAULT_LOAD_FILE, METADATA_INHERIT, IIS_MD_UT_FILE, STRING_METADATA,
            stringData("Default.htm,Default.asp,index.htm"));
  // The first child is "Info", so that the first child of W3SVC is never a site.
  auto info = store.createChild(*w3svc, "Info");
  auto filters = store.createChild(*w3svc, "Filters");
  auto site = store.createChild(*w3svc, "1");
  if (!info || !filters || !site) return false;
  ok &= set(*filters, MD_KEY_TYPE, 0, IIS_MD_UT_SERVER, STRING_METADATA, stringData("IIsFilters"));
  ok &= set(*filters, MD_FILTER_LOAD_ORDER, 0, IIS_MD_UT_SERVER, STRING_METADATA, stringData(""));
  ok &= set(*site, MD_KEY_TYPE, 0, IIS_MD_UT_SERVER, STRING_METADATA, stringData("IIsWebServer"));
  ok &= set(*site, MD_SERVER_COMMENT, METADATA_INHERIT, IIS_MD_UT_SERVER, STRING_METADATA,
            stringData("Default Web Site"));
  ok &= set(*site, MD_SERVER_BINDINGS, 0, IIS_MD_UT_SERVER, MULTISZ_METADATA, multiStringData({":80:"}));
  auto root = store.createChild(*site, "Root");
  if (!root) return false;
  ok &= set(*root, MD_KEY_TYPE, 0, IIS_MD_UT_SERVER, STRING_METADATA, stringData("IIsWebVirtualDir"));
  ok &= set(*root, MD_VR_PATH, METADATA_INHERIT, IIS_MD_UT_FILE, STRING_METADATA,
            stringData("C:\\Inetpub\\wwwroot"));
  return ok;
}

}  // namespace

std::vector<std::string_view> splitMetabasePath(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::vector<std::uint8_t> stringData(std::string_view ansi) {
  std::u16string wide = text::widen(ansi);
  std::vector<std::uint8_t> out;
  out.reserve((wide.size() + 1) * 2);
  for (char16_t c : wide) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

std::vector<std::uint8_t> multiStringData(const std::vector<std::string>& items) {
  std::vector<std::uint8_t> out;
  for (const auto& item : items) {
    auto one = stringData(item);
    out.insert(out.end(), one.begin(), one.end());
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

std::vector<std::uint8_t> dwordData(DWORD v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

std::vector<std::string> dataStrings(const Property& p) {
  std::vector<std::string> items;
  std::u16string current;
  for (std::size_t i = 0; i + 1 < p.data.size(); i += 2) {
    char16_t c = static_cast<char16_t>(p.data[i] | (p.data[i + 1] << 8));
    if (c == 0) {
      if (current.empty() && p.dataType == MULTISZ_METADATA) break;
      items.push_back(text::narrow(current));
      current.clear();
      if (p.dataType != MULTISZ_METADATA) break;
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) items.push_back(text::narrow(current));
  return items;
}

bool initStore(const fs::path& file, std::string& error) {
  fs::path temp = file;
  temp += ".new";
  std::error_code ec;
  fs::remove(temp, ec);
  {
    auto db = sqlite::Database::open(temp.string(), error);
    if (!db) return false;
    if (!db->exec(kSchema)) {
      error = db->errorMessage();
      return false;
    }
    Store store(std::move(db));
    sqlite::Transaction tx(store.db());
    if (!fillFreshMachine(store) || !tx.commit()) {
      error = "cannot fill the new metabase";
      return false;
    }
    store.db().exec("PRAGMA wal_checkpoint(TRUNCATE)");
  }
  fs::remove(fs::path(temp.string() + "-wal"), ec);
  fs::remove(fs::path(temp.string() + "-shm"), ec);
  fs::rename(temp, file, ec);
  if (ec) {
    error = "cannot create " + file.string() + ": " + ec.message();
    return false;
  }
  return true;
}

Store* Store::current() {
  static std::mutex map_mutex;
  static std::map<std::string, std::unique_ptr<Store>> stores;
  std::lock_guard lock(map_mutex);
  std::string root = machineRootPath().string();
  if (auto it = stores.find(root); it != stores.end()) return it->second.get();
  std::string error;
  fs::path ready = ensureMachineRoot(error);
  if (ready.empty()) return nullptr;
  auto db = sqlite::Database::open((ready / "metabase.db").string(), error);
  if (!db || !db->exec(kSchema)) return nullptr;
  Store* store = new Store(std::move(db));
  stores.emplace(root, std::unique_ptr<Store>(store));
  return store;
}

bool Store::keyExists(KeyId key) {
  auto st = db_->prepare("SELECT 1 FROM md_keys WHERE id = ?");
  st.bind(1, key);
  return st.step();
}

std::optional<KeyId> Store::parent(KeyId key) {
  auto st = db_->prepare("SELECT parent FROM md_keys WHERE id = ?");
  st.bind(1, key);
  if (!st.step() || st.isNull(0)) return std::nullopt;
  return st.integer(0);
}

std::optional<KeyId> Store::child(KeyId parent, std::string_view name) {
  auto st = db_->prepare("SELECT id FROM md_keys WHERE parent = ? AND fold = ?");
  st.bind(1, parent).bind(2, fold(name));
  if (!st.step()) return std::nullopt;
  return st.integer(0);
}

std::optional<KeyId> Store::createChild(KeyId parent, std::string_view name) {
  auto st = db_->prepare("INSERT INTO md_keys(parent, name, fold) VALUES (?, ?, ?)");
  st.bind(1, parent).bind(2, name).bind(3, fold(name));
  if (!st.run()) return std::nullopt;
  return db_->lastInsertId();
}

std::optional<std::string> Store::childNameAt(KeyId parent, std::uint32_t index) {
  auto st = db_->prepare("SELECT name FROM md_keys WHERE parent = ? ORDER BY id LIMIT 1 OFFSET ?");
  st.bind(1, parent).bind(2, static_cast<std::int64_t>(index));
  if (!st.step()) return std::nullopt;
  return st.text(0);
}

std::vector<std::pair<KeyId, std::string>> Store::children(KeyId parent) {
  std::vector<std::pair<KeyId, std::string>> out;
  auto st = db_->prepare("SELECT id, name FROM md_keys WHERE parent = ? ORDER BY id");
  st.bind(1, parent);
  while (st.step()) out.emplace_back(st.integer(0), st.text(1));
  return out;
}

bool Store::deleteKeyTree(KeyId key) {
  if (key == kRootKey) return false;
  auto st = db_->prepare("DELETE FROM md_keys WHERE id = ?");
  st.bind(1, key);
  return st.run() && db_->changes() > 0;
}

std::optional<KeyId> Store::resolve(KeyId from, std::string_view path) {
  KeyId id = from;
  for (std::string_view part : splitMetabasePath(path)) {
    auto next = child(id, part);
    if (!next) return std::nullopt;
    id = *next;
  }
  return id;
}

std::optional<KeyId> Store::createPath(KeyId from, std::string_view path) {
  KeyId id = from;
  bool created = false;
  for (std::string_view part : splitMetabasePath(path)) {
    if (auto next = child(id, part)) {
      id = *next;
      continue;
    }
    auto made = createChild(id, part);
    if (!made) return std::nullopt;
    id = *made;
    created = true;
  }
  if (!created) return std::nullopt;
  return id;
}

namespace {
Property readProperty(const sqlite::Statement& st) {
  Property p;
  p.id = static_cast<DWORD>(st.integer(0));
  p.attributes = static_cast<DWORD>(st.integer(1));
  p.userType = static_cast<DWORD>(st.integer(2));
  p.dataType = static_cast<DWORD>(st.integer(3));
  p.data = st.blob(4);
  return p;
}
}  // namespace

std::optional<Property> Store::property(KeyId key, DWORD id) {
  auto st = db_->prepare(
      "SELECT ident, attributes, user_type, data_type, data FROM md_properties WHERE key = ? AND ident = ?");
  st.bind(1, key).bind(2, static_cast<std::int64_t>(id));
  if (!st.step()) return std::nullopt;
  return readProperty(st);
}

std::vector<Property> Store::properties(KeyId key) {
  std::vector<Property> out;
  auto st = db_->prepare(
      "SELECT ident, attributes, user_type, data_type, data FROM md_properties WHERE key = ? ORDER BY ident");
  st.bind(1, key);
  while (st.step()) out.push_back(readProperty(st));
  return out;
}

bool Store::setProperty(KeyId key, const Property& p) {
  auto st = db_->prepare(
      "INSERT INTO md_properties(key, ident, attributes, user_type, data_type, data) VALUES (?, ?, ?, ?, ?, ?) "
      "ON CONFLICT(key, ident) DO UPDATE SET attributes = excluded.attributes, "
      "user_type = excluded.user_type, data_type = excluded.data_type, data = excluded.data");
  st.bind(1, key).bind(2, static_cast<std::int64_t>(p.id)).bind(3, static_cast<std::int64_t>(p.attributes));
  st.bind(4, static_cast<std::int64_t>(p.userType)).bind(5, static_cast<std::int64_t>(p.dataType));
  st.bindBlob(6, p.data.data(), p.data.size());
  return st.run();
}

bool Store::deleteProperty(KeyId key, DWORD id, DWORD dataType) {
  auto st = db_->prepare(
      "DELETE FROM md_properties WHERE key = ? AND ident = ? AND (? = 0 OR data_type = ?)");
  st.bind(1, key).bind(2, static_cast<std::int64_t>(id)).bind(3, static_cast<std::int64_t>(dataType));
  st.bind(4, static_cast<std::int64_t>(dataType));
  return st.run() && db_->changes() > 0;
}

}  // namespace platform::metabase
