#include "platform/metabase/admin_base.h"

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include "platform/metabase/metabase_store.h"
#include "platform/text/wide_text.h"

namespace platform::metabase {

namespace {

std::string toAnsi(LPCWSTR path) {
  if (!path) return std::string();
  return text::narrow(std::u16string_view(path));
}

// One admin base object: its own table of open key handles over the shared store.
class AdminBase final : public IMSAdminBaseW {
 public:
  explicit AdminBase(Store* store) : store_(store) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMSAdminBase_W) {
      *object = static_cast<IMSAdminBaseW*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT OpenKey(METADATA_HANDLE base, LPCWSTR path, DWORD access, DWORD,
                  PMETADATA_HANDLE result) override try {
    if (!result) return E_INVALIDARG;
    *result = 0;
    if (!(access & (METADATA_PERMISSION_READ | METADATA_PERMISSION_WRITE))) return E_INVALIDARG;
    std::lock_guard lock(store_->mutex());
    KeyId from;
    if (HRESULT hr = baseKey(base, from); FAILED(hr)) return hr;
    auto key = store_->resolve(from, toAnsi(path));
    if (!key) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    METADATA_HANDLE h = next_handle_++;
    handles_[h] = Open{*key, access};
    *result = h;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }

  HRESULT CloseKey(METADATA_HANDLE handle) override {
    std::lock_guard lock(store_->mutex());
    return handles_.erase(handle) ? S_OK : HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
  }

  HRESULT EnumKeys(METADATA_HANDLE handle, LPCWSTR path, LPWSTR name, DWORD index) override try {
    if (!name) return E_INVALIDARG;
    std::lock_guard lock(store_->mutex());
    KeyId key;
    if (HRESULT hr = target(handle, path, METADATA_PERMISSION_READ, key); FAILED(hr)) return hr;
    auto child = store_->childNameAt(key, index);
    if (!child) return HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
    std::u16string wide = text::widen(*child);
    if (wide.size() >= METADATA_MAX_NAME_LEN) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(name, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }

  HRESULT GetData(METADATA_HANDLE handle, LPCWSTR path, PMETADATA_RECORD record,
                  DWORD* required) override try {
    if (!record || !required) return E_INVALIDARG;
    std::lock_guard lock(store_->mutex());
    KeyId key;
    if (HRESULT hr = target(handle, path, METADATA_PERMISSION_READ, key); FAILED(hr)) return hr;
    bool inherited = false;
    auto found = store_->property(key, record->dwMDIdentifier);
    // An inherited read climbs to the nearest ancestor whose property is inheritable.
    for (KeyId at = key; !found && (record->dwMDAttributes & METADATA_INHERIT);) {
      auto up = store_->parent(at);
      if (!up) break;
      at = *up;
      auto candidate = store_->property(at, record->dwMDIdentifier);
      if (candidate && (candidate->attributes & METADATA_INHERIT)) {
        found = candidate;
        inherited = true;
      }
    }
    if (!found) return MD_ERROR_DATA_NOT_FOUND;
    if (record->dwMDDataType != ALL_METADATA && record->dwMDDataType != found->dataType)
      return MD_ERROR_DATA_NOT_FOUND;
    const DWORD size = static_cast<DWORD>(found->data.size());
    if (record->dwMDDataLen < size || (!record->pbMDData && size)) {
      *required = size;
      return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    if (size) std::memcpy(record->pbMDData, found->data.data(), size);
    record->dwMDDataLen = size;
    record->dwMDDataType = found->dataType;
    record->dwMDUserType = found->userType;
    record->dwMDAttributes = found->attributes | (inherited ? METADATA_ISINHERITED : 0);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }

  HRESULT SetData(METADATA_HANDLE handle, LPCWSTR path, PMETADATA_RECORD record) override try {
    if (!record) return E_INVALIDARG;
    const DWORD type = record->dwMDDataType;
    if (type < DWORD_METADATA || type > MULTISZ_METADATA) return E_INVALIDARG;
    if (!record->pbMDData && record->dwMDDataLen) return E_INVALIDARG;
    if (type == DWORD_METADATA && record->dwMDDataLen != 4) return E_INVALIDARG;
    std::lock_guard lock(store_->mutex());
    KeyId key;
    if (HRESULT hr = target(handle, path, METADATA_PERMISSION_WRITE, key); FAILED(hr)) return hr;
    Property p{record->dwMDIdentifier, record->dwMDAttributes & ~METADATA_ISINHERITED,
               record->dwMDUserType, type,
               std::vector<std::uint8_t>(record->pbMDData, record->pbMDData + record->dwMDDataLen)};
    return store_->setProperty(key, p) ? S_OK : E_FAIL;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }

  HRESULT DeleteData(METADATA_HANDLE handle, LPCWSTR path, DWORD identifier, DWORD dataType) override try {
    std::lock_guard lock(store_->mutex());
    KeyId key;
    if (HRESULT hr = target(handle, path, METADATA_PERMISSION_WRITE, key); FAILED(hr)) return hr;
    return store_->deleteProperty(key, identifier, dataType) ? S_OK : MD_ERROR_DATA_NOT_FOUND;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }

  HRESULT DeleteKey(METADATA_HANDLE handle, LPCWSTR path) override try {
    std::string sub = toAnsi(path);
    if (splitMetabasePath(sub).empty()) return E_INVALIDARG;
    std::lock_guard lock(store_->mutex());
    KeyId key;
    if (HRESULT hr = target(handle, path, METADATA_PERMISSION_WRITE, key); FAILED(hr)) return hr;
    return store_->deleteKeyTree(key) ? S_OK : E_FAIL;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }

  HRESULT AddKey(METADATA_HANDLE handle, LPCWSTR path) override try {
    std::string sub = toAnsi(path);
    if (splitMetabasePath(sub).empty()) return E_INVALIDARG;
    std::lock_guard lock(store_->mutex());
    KeyId from;
    if (HRESULT hr = target(handle, nullptr, METADATA_PERMISSION_WRITE, from); FAILED(hr)) return hr;
    sqlite::Transaction tx(store_->db());
    if (!tx.active()) return HRESULT_FROM_WIN32(ERROR_PATH_BUSY);
    if (store_->resolve(from, sub)) return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    if (!store_->createPath(from, sub) || !tx.commit()) return E_FAIL;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }

 private:
  struct Open {
    KeyId key;
    DWORD access;
  };

  HRESULT baseKey(METADATA_HANDLE handle, KeyId& out) {
    if (handle == METADATA_MASTER_ROOT_HANDLE) {
      out = kRootKey;
      return S_OK;
    }
    auto it = handles_.find(handle);
    if (it == handles_.end()) return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
    if (!store_->keyExists(it->second.key)) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    out = it->second.key;
    return S_OK;
  }

  // The key at path below an open handle that grants need.
  HRESULT target(METADATA_HANDLE handle, LPCWSTR path, DWORD need, KeyId& out) {
    if (handle == METADATA_MASTER_ROOT_HANDLE) return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
    auto it = handles_.find(handle);
    if (it == handles_.end()) return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
    if (!(it->second.access & need)) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    KeyId from;
    if (HRESULT hr = baseKey(handle, from); FAILED(hr)) return hr;
    auto key = store_->resolve(from, toAnsi(path));
    if (!key) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    out = *key;
    return S_OK;
  }

  Store* store_;
  std::atomic<ULONG> refs_{1};
  std::map<METADATA_HANDLE, Open> handles_;
  METADATA_HANDLE next_handle_ = 1;
};

}  // namespace

HRESULT createAdminBase(REFIID riid, void** object) noexcept try {
  if (!object) return E_POINTER;
  *object = nullptr;
  Store* store = Store::current();
  if (!store) return E_FAIL;
  auto* base = new AdminBase(store);
  HRESULT hr = base->QueryInterface(riid, object);
  base->Release();
  return hr;
} catch (...) {
  return E_OUTOFMEMORY;
}

}  // namespace platform::metabase
