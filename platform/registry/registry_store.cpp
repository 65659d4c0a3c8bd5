#include "platform/registry/registry_store.h"

#include <map>
#include <system_error>

#include "platform/machine_root.h"

namespace platform::registry {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS reg_keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER REFERENCES reg_keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  sddl TEXT NOT NULL DEFAULT '',
  UNIQUE(parent, fold));
CREATE TABLE IF NOT EXISTS reg_values(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  key INTEGER NOT NULL REFERENCES reg_keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  UNIQUE(key, fold));
INSERT OR IGNORE INTO reg_keys(id, parent, name, fold) VALUES (1, NULL, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE');
)sql";

}  // namespace

std::string foldName(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::vector<std::string_view> splitKeyPath(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
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
    // The standard keys a fresh Windows installation has.
    auto add = [&](std::int64_t parent, const char* name) -> std::int64_t {
      auto st = db->prepare("INSERT INTO reg_keys(parent, name, fold) VALUES (?, ?, ?)");
      st.bind(1, parent).bind(2, name).bind(3, foldName(name)).run();
      return db->lastInsertId();
    };
    std::int64_t software = add(kLocalMachineKey, "SOFTWARE");
    add(software, "Classes");
    std::int64_t microsoft = add(software, "Microsoft");
    // The IIS installation's manager snap-in and its web-site node type, which console
    // extensions register themselves under.
    std::int64_t mmc = add(microsoft, "MMC");
    std::int64_t iisManager = add(add(mmc, "SnapIns"), "{A841B6C2-7577-11D0-BB1F-00A0C922E79C}");
    add(add(iisManager, "NodeTypes"), "{A841B6C7-7577-11D0-BB1F-00A0C922E79C}");
    add(add(mmc, "NodeTypes"), "{A841B6C7-7577-11D0-BB1F-00A0C922E79C}");
    std::int64_t system = add(kLocalMachineKey, "SYSTEM");
    std::int64_t control = add(system, "CurrentControlSet");
    add(control, "Services");
    add(control, "Control");
    if (!db->exec("PRAGMA wal_checkpoint(TRUNCATE)")) {
      error = db->errorMessage();
      return false;
    }
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
  auto db = sqlite::Database::open((ready / "registry.db").string(), error);
  if (!db || !db->exec(kSchema)) return nullptr;
  Store* store = new Store(std::move(db));
  stores.emplace(root, std::unique_ptr<Store>(store));
  return store;
}

bool Store::keyExists(KeyId key) {
  auto st = db_->prepare("SELECT 1 FROM reg_keys WHERE id = ?");
  st.bind(1, key);
  return st.step();
}

std::optional<KeyId> Store::child(KeyId parent, std::string_view name) {
  auto st = db_->prepare("SELECT id FROM reg_keys WHERE parent = ? AND fold = ?");
  st.bind(1, parent).bind(2, foldName(name));
  if (!st.step()) return std::nullopt;
  return st.integer(0);
}

std::optional<KeyId> Store::createChild(KeyId parent, std::string_view name, std::string_view sddl) {
  auto st = db_->prepare("INSERT INTO reg_keys(parent, name, fold, sddl) VALUES (?, ?, ?, ?)");
  st.bind(1, parent).bind(2, name).bind(3, foldName(name)).bind(4, sddl);
  if (!st.run()) return std::nullopt;
  return db_->lastInsertId();
}

std::optional<std::string> Store::childNameAt(KeyId parent, std::uint32_t index) {
  auto st = db_->prepare("SELECT name FROM reg_keys WHERE parent = ? ORDER BY fold LIMIT 1 OFFSET ?");
  st.bind(1, parent).bind(2, static_cast<std::int64_t>(index));
  if (!st.step()) return std::nullopt;
  return st.text(0);
}

std::vector<std::pair<KeyId, std::string>> Store::children(KeyId parent) {
  std::vector<std::pair<KeyId, std::string>> out;
  auto st = db_->prepare("SELECT id, name FROM reg_keys WHERE parent = ? ORDER BY fold");
  st.bind(1, parent);
  while (st.step()) out.emplace_back(st.integer(0), st.text(1));
  return out;
}

std::uint32_t Store::childCount(KeyId parent) {
  auto st = db_->prepare("SELECT count(*) FROM reg_keys WHERE parent = ?");
  st.bind(1, parent);
  return st.step() ? static_cast<std::uint32_t>(st.integer(0)) : 0;
}

std::string Store::keyName(KeyId key) {
  auto st = db_->prepare("SELECT name FROM reg_keys WHERE id = ?");
  st.bind(1, key);
  return st.step() ? st.text(0) : std::string();
}

std::string Store::keySecurity(KeyId key) {
  auto st = db_->prepare("SELECT sddl FROM reg_keys WHERE id = ?");
  st.bind(1, key);
  return st.step() ? st.text(0) : std::string();
}

bool Store::deleteKeyTree(KeyId key) {
  auto st = db_->prepare("DELETE FROM reg_keys WHERE id = ?");
  st.bind(1, key);
  return st.run();
}

namespace {
Value readValue(const sqlite::Statement& st) {
  Value v;
  v.name = st.text(0);
  v.type = static_cast<DWORD>(st.integer(1));
  v.data = st.blob(2);
  return v;
}
}  // namespace

std::optional<Value> Store::value(KeyId key, std::string_view name) {
  auto st = db_->prepare("SELECT name, type, data FROM reg_values WHERE key = ? AND fold = ?");
  st.bind(1, key).bind(2, foldName(name));
  if (!st.step()) return std::nullopt;
  return readValue(st);
}

std::optional<Value> Store::valueAt(KeyId key, std::uint32_t index) {
  auto st = db_->prepare(
      "SELECT name, type, data FROM reg_values WHERE key = ? ORDER BY id LIMIT 1 OFFSET ?");
  st.bind(1, key).bind(2, static_cast<std::int64_t>(index));
  if (!st.step()) return std::nullopt;
  return readValue(st);
}

std::vector<Value> Store::values(KeyId key) {
  std::vector<Value> out;
  auto st = db_->prepare("SELECT name, type, data FROM reg_values WHERE key = ? ORDER BY id");
  st.bind(1, key);
  while (st.step()) out.push_back(readValue(st));
  return out;
}

std::uint32_t Store::valueCount(KeyId key) {
  auto st = db_->prepare("SELECT count(*) FROM reg_values WHERE key = ?");
  st.bind(1, key);
  return st.step() ? static_cast<std::uint32_t>(st.integer(0)) : 0;
}

bool Store::setValue(KeyId key, std::string_view name, DWORD type, const std::uint8_t* data,
                     std::size_t size) {
  // An upsert that keeps the row id, so a rewritten value keeps its place in the
  // enumeration, as on Windows. The stored name keeps the case of its first writer.
  auto st = db_->prepare(
      "INSERT INTO reg_values(key, name, fold, type, data) VALUES (?, ?, ?, ?, ?) "
      "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
  st.bind(1, key).bind(2, name).bind(3, foldName(name)).bind(4, static_cast<std::int64_t>(type));
  st.bindBlob(5, data, size);
  return st.run();
}

bool Store::deleteValue(KeyId key, std::string_view name) {
  auto st = db_->prepare("DELETE FROM reg_values WHERE key = ? AND fold = ?");
  st.bind(1, key).bind(2, foldName(name));
  return st.run() && db_->changes() > 0;
}

std::optional<KeyId> Store::resolve(KeyId parent, std::string_view path) {
  KeyId id = parent;
  for (std::string_view part : splitKeyPath(path)) {
    auto next = child(id, part);
    if (!next) return std::nullopt;
    id = *next;
  }
  return id;
}

KeyId Store::classesRoot() {
  if (!classes_root_) {
    auto id = resolve(kLocalMachineKey, "SOFTWARE\\Classes");
    if (!id) {
      KeyId software = child(kLocalMachineKey, "SOFTWARE").value_or(0);
      if (!software) software = createChild(kLocalMachineKey, "SOFTWARE", "").value_or(0);
      id = createChild(software, "Classes", "");
    }
    classes_root_ = id.value_or(kLocalMachineKey);
  }
  return *classes_root_;
}

}  // namespace platform::registry
