#pragma once
// The registry's storage: a tree of keys with ordered values in one SQLite file per machine
// root. Internal to the platform: the system uses the Win32 calls of registry.h; the `reg`
// tool's import and export use this layer for whole-file transactions.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sqlite/sqlite_db.h"
#include "platform/win_types.h"

namespace platform::registry {

using KeyId = std::int64_t;
constexpr KeyId kLocalMachineKey = 1;

struct Value {
  std::string name;
  DWORD type = 0;
  std::vector<std::uint8_t> data;
};

// Creates a fresh store file with the standard top-level keys (SOFTWARE, SOFTWARE\Classes,
// SYSTEM\CurrentControlSet\Services). The file appears only when complete.
bool initStore(const std::filesystem::path& file, std::string& error);

// Windows compares key and value names by their upper-case form.
std::string foldName(std::string_view name);

// All members expect the caller to hold mutex() (one connection per process and root).
class Store {
 public:
  // The store of the machine root named by the environment, opened once per root; nullptr
  // when the root cannot be prepared.
  static Store* current();

  std::mutex& mutex() { return mutex_; }
  sqlite::Database& db() { return *db_; }

  bool keyExists(KeyId key);
  std::optional<KeyId> child(KeyId parent, std::string_view name);
  std::optional<KeyId> createChild(KeyId parent, std::string_view name, std::string_view sddl);
  // Sub-keys in case-insensitive name order.
  std::optional<std::string> childNameAt(KeyId parent, std::uint32_t index);
  std::vector<std::pair<KeyId, std::string>> children(KeyId parent);
  std::uint32_t childCount(KeyId parent);
  std::string keyName(KeyId key);
  std::string keySecurity(KeyId key);
  bool deleteKeyTree(KeyId key);

  // Values in creation order.
  std::optional<Value> value(KeyId key, std::string_view name);
  std::optional<Value> valueAt(KeyId key, std::uint32_t index);
  std::vector<Value> values(KeyId key);
  std::uint32_t valueCount(KeyId key);
  bool setValue(KeyId key, std::string_view name, DWORD type, const std::uint8_t* data, std::size_t size);
  bool deleteValue(KeyId key, std::string_view name);

  // Resolves a backslash path below parent; empty components are skipped.
  std::optional<KeyId> resolve(KeyId parent, std::string_view path);
  KeyId classesRoot();

 private:
  explicit Store(std::unique_ptr<sqlite::Database> db) : db_(std::move(db)) {}
  std::mutex mutex_;
  std::unique_ptr<sqlite::Database> db_;
  std::optional<KeyId> classes_root_;
};

// Splits "a\b\\c" into its non-empty components.
std::vector<std::string_view> splitKeyPath(std::string_view path);

}  // namespace platform::registry
