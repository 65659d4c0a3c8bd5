#pragma once
// Shortcuts over the metabase store for setting up sites in a test's machine root.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/metabase/admin_base.h"
#include "platform/metabase/metabase_store.h"

namespace testing_support {

inline platform::metabase::KeyId metabaseKey(const std::string& path, bool create = true) {
  auto* store = platform::metabase::Store::current();
  std::lock_guard lock(store->mutex());
  if (auto key = store->resolve(platform::metabase::kRootKey, path)) return *key;
  EXPECT_TRUE(create) << path;
  return store->createPath(platform::metabase::kRootKey, path).value_or(0);
}

inline void setMetabaseString(const std::string& path, DWORD id, const std::string& text, DWORD attributes = 0,
                              DWORD userType = IIS_MD_UT_SERVER, DWORD type = STRING_METADATA) {
  auto key = metabaseKey(path);
  auto* store = platform::metabase::Store::current();
  std::lock_guard lock(store->mutex());
  EXPECT_TRUE(store->setProperty(key, {id, attributes, userType, type, platform::metabase::stringData(text)}));
}

inline void deleteMetabaseKey(const std::string& path) {
  auto key = metabaseKey(path, false);
  auto* store = platform::metabase::Store::current();
  std::lock_guard lock(store->mutex());
  store->deleteKeyTree(key);
}

inline void deleteMetabaseProperty(const std::string& path, DWORD id) {
  auto key = metabaseKey(path, false);
  auto* store = platform::metabase::Store::current();
  std::lock_guard lock(store->mutex());
  store->deleteProperty(key, id, 0);
}

// A web site n with its home directory (none when root is empty).
inline void addSite(int n, const std::string& root) {
  const std::string path = "/LM/W3SVC/" + std::to_string(n);
  setMetabaseString(path, MD_SERVER_COMMENT, "Site " + std::to_string(n));
  if (!root.empty()) setMetabaseString(path + "/Root", MD_VR_PATH, root, METADATA_INHERIT, IIS_MD_UT_FILE);
}

}  // namespace testing_support
