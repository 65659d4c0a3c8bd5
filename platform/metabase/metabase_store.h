#pragma once
// The metabase's storage: a tree of keys holding properties by numeric identifier, in one
// SQLite file per machine root. Internal to the platform: the system goes through the
// admin base object (admin_base.h); the `adsutil` tool and the web server use this layer.

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

namespace platform::metabase {

using KeyId = std::int64_t;
constexpr KeyId kRootKey = 1;

struct Property {
  DWORD id = 0;
  DWORD attributes = 0;
  DWORD userType = 0;
  DWORD dataType = 0;
  std::vector<std::uint8_t> data;  // strings as UTF-16LE with their terminators
};

// Creates a fresh store with what a new IIS installation holds: /LM/W3SVC with the
// children "Info", "Filters" and the default web site "1". Appears only when complete.
bool initStore(const std::filesystem::path& file, std::string& error);

// Splits "/LM/W3SVC\1" into its non-empty components ('/' and '\' both separate).
std::vector<std::string_view> splitMetabasePath(std::string_view path);

// All members expect the caller to hold mutex().
class Store {
 public:
  static Store* current();

  std::mutex& mutex() { return mutex_; }
  sqlite::Database& db() { return *db_; }

  bool keyExists(KeyId key);
  std::optional<KeyId> parent(KeyId key);
  std::optional<KeyId> child(KeyId parent, std::string_view name);
  std::optional<KeyId> createChild(KeyId parent, std::string_view name);
  // Children in creation order.
  std::optional<std::string> childNameAt(KeyId parent, std::uint32_t index);
  std::vector<std::pair<KeyId, std::string>> children(KeyId parent);
  bool deleteKeyTree(KeyId key);
  std::optional<KeyId> resolve(KeyId from, std::string_view path);
  // Creates every missing level; nullopt when the last level existed already.
  std::optional<KeyId> createPath(KeyId from, std::string_view path);

  std::optional<Property> property(KeyId key, DWORD id);
  std::vector<Property> properties(KeyId key);
  bool setProperty(KeyId key, const Property& property);
  // dataType ALL_METADATA (0) deletes whatever type the property has.
  bool deleteProperty(KeyId key, DWORD id, DWORD dataType);

 private:
  friend bool initStore(const std::filesystem::path& file, std::string& error);
  explicit Store(std::unique_ptr<sqlite::Database> db) : db_(std::move(db)) {}
  std::mutex mutex_;
  std::unique_ptr<sqlite::Database> db_;
};

// Property data helpers.
std::vector<std::uint8_t> stringData(std::string_view ansi);
std::vector<std::uint8_t> multiStringData(const std::vector<std::string>& items);
std::vector<std::uint8_t> dwordData(DWORD value);
// Text of a string, expand-string or multi-string property (the items of a multi-string).
std::vector<std::string> dataStrings(const Property& property);

}  // namespace platform::metabase
