// The Win32 registry calls over the store. Each call takes the store's lock for its whole
// duration; calls that write several rows run in one transaction.

#include <cstring>
#include <string>

#include "platform/registry/registry.h"
#include "platform/registry/registry_store.h"

using platform::registry::KeyId;
using platform::registry::Store;

struct HKEY__ {
  Store* store;
  KeyId id;
  REGSAM access;
};

namespace {

bool isPredefined(HKEY key) { return key == HKEY_LOCAL_MACHINE || key == HKEY_CLASSES_ROOT; }

// What a handle stands for: the store, the key and the access granted.
struct Target {
  Store* store = nullptr;
  KeyId id = 0;
  REGSAM access = 0;
};

LONG target(HKEY key, Target& out) {
  if (!key) return ERROR_INVALID_HANDLE;
  if (isPredefined(key)) {
    out.store = Store::current();
    if (!out.store) return ERROR_FILE_NOT_FOUND;
    out.access = KEY_ALL_ACCESS;
    out.id = platform::registry::kLocalMachineKey;
    if (key == HKEY_CLASSES_ROOT) {
      std::lock_guard lock(out.store->mutex());
      out.id = out.store->classesRoot();
    }
    return ERROR_SUCCESS;
  }
  out.store = key->store;
  out.id = key->id;
  out.access = key->access;
  return ERROR_SUCCESS;
}

bool allowed(const Target& t, REGSAM need) { return (t.access & need) == need; }

// Names longer than Windows allows are refused rather than stored.
bool validKeyPath(std::string_view path) {
  for (std::string_view part : platform::registry::splitKeyPath(path))
    if (part.size() > kMaxRegKeyNameChars) return false;
  return true;
}

LONG copyOut(const std::vector<std::uint8_t>& bytes, LPBYTE data, LPDWORD size) {
  const DWORD need = static_cast<DWORD>(bytes.size());
  if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  if (!data) {
    *size = need;
    return ERROR_SUCCESS;
  }
  if (*size < need) {
    *size = need;
    return ERROR_MORE_DATA;
  }
  if (need) std::memcpy(data, bytes.data(), need);
  *size = need;
  return ERROR_SUCCESS;
}

// Copies a name into a character buffer of *chars (terminator included).
LONG copyName(const std::string& name, LPSTR out, LPDWORD chars) {
  if (!out || !chars) return ERROR_INVALID_PARAMETER;
  if (*chars < name.size() + 1) {
    return ERROR_MORE_DATA;
  }
  std::memcpy(out, name.c_str(), name.size() + 1);
  *chars = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

const char* orEmpty(LPCSTR text) { return text ? text : ""; }

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) noexcept try {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  Target t;
  if (LONG rc = target(key, t); rc != ERROR_SUCCESS) return rc;
  std::lock_guard lock(t.store->mutex());
  if (!t.store->keyExists(t.id)) return ERROR_KEY_DELETED;
  auto id = t.store->resolve(t.id, orEmpty(subKey));
  if (!id) return ERROR_FILE_NOT_FOUND;
  *result = new HKEY__{t.store, *id, access};
  return ERROR_SUCCESS;
} catch (...) {
  return ERROR_NOT_ENOUGH_MEMORY;
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access,
                     const SECURITY_ATTRIBUTES* security, PHKEY result,
                     LPDWORD disposition) noexcept try {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  Target t;
  if (LONG rc = target(key, t); rc != ERROR_SUCCESS) return rc;
  if (!validKeyPath(orEmpty(subKey))) return ERROR_INVALID_PARAMETER;
  std::lock_guard lock(t.store->mutex());
  if (!t.store->keyExists(t.id)) return ERROR_KEY_DELETED;
  platform::sqlite::Transaction tx(t.store->db());
  if (!tx.active()) return ERROR_ACCESS_DENIED;
  KeyId id = t.id;
  bool created = false;
  const std::string sddl =
      security ? platform::security::toSddl(static_cast<const SECURITY_DESCRIPTOR*>(security->lpSecurityDescriptor)) : "";
  for (std::string_view part : platform::registry::splitKeyPath(orEmpty(subKey))) {
    if (auto next = t.store->child(id, part)) {
      id = *next;
      continue;
    }
    if (!created && !allowed(t, KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    auto made = t.store->createChild(id, part, sddl);
    if (!made) return ERROR_ACCESS_DENIED;
    id = *made;
    created = true;
  }
  if (!tx.commit()) return ERROR_ACCESS_DENIED;
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = new HKEY__{t.store, id, access};
  return ERROR_SUCCESS;
} catch (...) {
  return ERROR_NOT_ENOUGH_MEMORY;
}

LONG RegCloseKey(HKEY key) noexcept {
  if (!key) return ERROR_INVALID_HANDLE;
  if (isPredefined(key)) return ERROR_SUCCESS;
  delete key;
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD size) noexcept try {
  Target t;
  if (LONG rc = target(key, t); rc != ERROR_SUCCESS) return rc;
  if (!allowed(t, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  std::lock_guard lock(t.store->mutex());
  if (!t.store->keyExists(t.id)) return ERROR_KEY_DELETED;
  auto v = t.store->value(t.id, orEmpty(valueName));
  if (!v) return ERROR_FILE_NOT_FOUND;
  if (type) *type = v->type;
  return copyOut(v->data, data, size);
} catch (...) {
  return ERROR_NOT_ENOUGH_MEMORY;
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                    DWORD size) noexcept try {
  Target t;
  if (LONG rc = target(key, t); rc != ERROR_SUCCESS) return rc;
  if (!allowed(t, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (!data && size) return ERROR_INVALID_PARAMETER;
  if (std::strlen(orEmpty(valueName)) > kMaxRegValueNameChars) return ERROR_INVALID_PARAMETER;
  std::lock_guard lock(t.store->mutex());
  if (!t.store->keyExists(t.id)) return ERROR_KEY_DELETED;
  return t.store->setValue(t.id, orEmpty(valueName), type, data, size) ? ERROR_SUCCESS
                                                                         : ERROR_ACCESS_DENIED;
} catch (...) {
  return ERROR_NOT_ENOUGH_MEMORY;
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) noexcept try {
  Target t;
  if (LONG rc = target(key, t); rc != ERROR_SUCCESS) return rc;
  if (!allowed(t, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  std::lock_guard lock(t.store->mutex());
  if (!t.store->keyExists(t.id)) return ERROR_KEY_DELETED;
  return t.store->deleteValue(t.id, orEmpty(valueName)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
} catch (...) {
  return ERROR_NOT_ENOUGH_MEMORY;
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD, LPDWORD type,
                   LPBYTE data, LPDWORD dataSize) noexcept try {
  Target t;
  if (LONG rc = target(key, t); rc != ERROR_SUCCESS) return rc;
  if (!allowed(t, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  std::lock_guard lock(t.store->mutex());
  if (!t.store->keyExists(t.id)) return ERROR_KEY_DELETED;
  auto v = t.store->valueAt(t.id, index);
  if (!v) return ERROR_NO_MORE_ITEMS;
  if (LONG rc = copyName(v->name, name, nameChars); rc != ERROR_SUCCESS) return rc;
  if (type) *type = v->type;
  return copyOut(v->data, data, dataSize);
} catch (...) {
  return ERROR_NOT_ENOUGH_MEMORY;
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD, LPSTR keyClass,
                   LPDWORD classChars, FILETIME* lastWrite) noexcept try {
  Target t;
  if (LONG rc = target(key, t); rc != ERROR_SUCCESS) return rc;
  if (!allowed(t, KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  std::lock_guard lock(t.store->mutex());
  if (!t.store->keyExists(t.id)) return ERROR_KEY_DELETED;
  auto child = t.store->childNameAt(t.id, index);
  if (!child) return ERROR_NO_MORE_ITEMS;
  if (LONG rc = copyName(*child, name, nameChars); rc != ERROR_SUCCESS) return rc;
  if (keyClass && classChars && *classChars) keyClass[0] = '\0';
  if (classChars) *classChars = 0;
  if (lastWrite) *lastWrite = FILETIME{0, 0};
  return ERROR_SUCCESS;
} catch (...) {
  return ERROR_NOT_ENOUGH_MEMORY;
}

LONG RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classChars, LPDWORD, LPDWORD subKeys,
                      LPDWORD maxSubKeyChars, LPDWORD maxClassChars, LPDWORD values,
                      LPDWORD maxValueNameChars, LPDWORD maxValueBytes, LPDWORD securityBytes,
                      FILETIME* lastWrite) noexcept try {
  Target t;
  if (LONG rc = target(key, t); rc != ERROR_SUCCESS) return rc;
  std::lock_guard lock(t.store->mutex());
  if (!t.store->keyExists(t.id)) return ERROR_KEY_DELETED;
  if (keyClass && classChars && *classChars) keyClass[0] = '\0';
  if (classChars) *classChars = 0;
  DWORD longestKey = 0, longestName = 0, largestData = 0;
  auto kids = t.store->children(t.id);
  for (const auto& kid : kids) longestKey = std::max<DWORD>(longestKey, static_cast<DWORD>(kid.second.size()));
  auto vals = t.store->values(t.id);
  for (const auto& v : vals) {
    longestName = std::max<DWORD>(longestName, static_cast<DWORD>(v.name.size()));
    largestData = std::max<DWORD>(largestData, static_cast<DWORD>(v.data.size()));
  }
  if (subKeys) *subKeys = static_cast<DWORD>(kids.size());
  if (maxSubKeyChars) *maxSubKeyChars = longestKey;
  if (maxClassChars) *maxClassChars = 0;
  if (values) *values = static_cast<DWORD>(vals.size());
  if (maxValueNameChars) *maxValueNameChars = longestName;
  if (maxValueBytes) *maxValueBytes = largestData;
  if (securityBytes) *securityBytes = sizeof(SECURITY_DESCRIPTOR);
  if (lastWrite) *lastWrite = FILETIME{0, 0};
  return ERROR_SUCCESS;
} catch (...) {
  return ERROR_NOT_ENOUGH_MEMORY;
}

namespace {
LONG deleteKey(HKEY key, LPCSTR subKey, bool tree) {
  Target t;
  if (LONG rc = target(key, t); rc != ERROR_SUCCESS) return rc;
  std::lock_guard lock(t.store->mutex());
  if (!t.store->keyExists(t.id)) return ERROR_KEY_DELETED;
  auto id = t.store->resolve(t.id, orEmpty(subKey));
  if (!id) return ERROR_FILE_NOT_FOUND;
  // The hive roots cannot be deleted.
  if (*id == platform::registry::kLocalMachineKey || *id == t.store->classesRoot())
    return ERROR_ACCESS_DENIED;
  if (!tree && t.store->childCount(*id) > 0) return ERROR_ACCESS_DENIED;
  return t.store->deleteKeyTree(*id) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}
}  // namespace

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) noexcept try {
  if (!subKey || !*subKey) return ERROR_INVALID_PARAMETER;
  return deleteKey(key, subKey, false);
} catch (...) {
  return ERROR_NOT_ENOUGH_MEMORY;
}

LONG RegDeleteTreeA(HKEY key, LPCSTR subKey) noexcept try {
  return deleteKey(key, subKey, true);
} catch (...) {
  return ERROR_NOT_ENOUGH_MEMORY;
}

LONG RegGetKeySecurity(HKEY key, DWORD, PSECURITY_DESCRIPTOR sd, LPDWORD size) noexcept try {
  Target t;
  if (LONG rc = target(key, t); rc != ERROR_SUCCESS) return rc;
  if (!size) return ERROR_INVALID_PARAMETER;
  std::lock_guard lock(t.store->mutex());
  if (!t.store->keyExists(t.id)) return ERROR_KEY_DELETED;
  return platform::security::writeDescriptor(t.store->keySecurity(t.id), sd, size);
} catch (...) {
  return ERROR_NOT_ENOUGH_MEMORY;
}
