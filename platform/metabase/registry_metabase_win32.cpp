// A test double of the IIS metabase for Windows machines without IIS (Wine): the
// IMSAdminBaseW calls the system makes (AddKey, DeleteKey, EnumKeys, SetData, GetData,
// DeleteData, OpenKey, CloseKey), kept in the registry under kRootKey so that several
// processes of one machine share it. A metabase key is a registry key; a property is a
// value named by its identifier, holding its attributes, user type and data type ahead of
// its bytes; keys enumerate in creation order, as the metabase's do. The other methods
// answer E_NOTIMPL: nothing of the system calls them. Built as an in-process COM server
// for CLSID_MSAdminBase_W, registered in the machine by the tests.
#include <windows.h>
#include <initguid.h>
#include <iadmw.h>
#include <iiscnfg.h>
#include <mdmsg.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kRootKey[] = L"SOFTWARE\\TamsicTest\\Metabase";
constexpr wchar_t kOrderValue[] = L"(order)";  // a key's creation number
constexpr wchar_t kNextValue[] = L"(next)";    // the root's next creation number

struct PropertyHeader {
  DWORD attributes;
  DWORD userType;
  DWORD dataType;
};

std::atomic<long> liveObjects{0};

HRESULT fromWin32(LONG code) { return HRESULT_FROM_WIN32(static_cast<DWORD>(code)); }

// "/LM//W3SVC/" -> "LM\W3SVC".
std::wstring normalized(const std::wstring& base, LPCWSTR path) {
  std::wstring joined = base + L"\\" + (path ? path : L"");
  std::wstring out;
  for (wchar_t c : joined) {
    if (c == L'/') c = L'\\';
    if (c == L'\\' && (out.empty() || out.back() == L'\\')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == L'\\') out.pop_back();
  return out;
}

std::wstring registryPath(const std::wstring& path) { return path.empty() ? kRootKey : std::wstring(kRootKey) + L"\\" + path; }

class Key {
 public:
  explicit Key(const std::wstring& path, REGSAM access = KEY_ALL_ACCESS) {
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, registryPath(path).c_str(), 0, access, &key_) != ERROR_SUCCESS)
      key_ = nullptr;
  }
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

DWORD readDword(HKEY key, LPCWSTR name) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) return 0;
  return value;
}

// Creates the key if it is missing, numbering it after every key created before.
bool createLevel(const std::wstring& path, bool& created) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, registryPath(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      &disposition) != ERROR_SUCCESS)
    return false;
  created = disposition == REG_CREATED_NEW_KEY;
  if (created) {
    Key root(L"");
    const DWORD order = readDword(root.get(), kNextValue) + 1;
    RegSetValueExW(root.get(), kNextValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&order), sizeof(order));
    RegSetValueExW(key, kOrderValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&order), sizeof(order));
  }
  RegCloseKey(key);
  return true;
}

class AdminBase final : public IMSAdminBaseW {
 public:
  AdminBase() { ++liveObjects; }
  ~AdminBase() { --liveObjects; }

  HRESULT WINAPI QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IMSAdminBase_W)) {
      *object = static_cast<IMSAdminBaseW*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG WINAPI AddRef() override { return static_cast<ULONG>(++references_); }
  ULONG WINAPI Release() override {
    const long left = --references_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT WINAPI AddKey(METADATA_HANDLE handle, LPCWSTR path) override {
    std::wstring full;
    if (!resolve(handle, path, full)) return E_HANDLE;
    std::lock_guard lock(registryMutex());
    bool created = false;
    std::size_t at = 0;
    while (at != std::wstring::npos) {
      at = full.find(L'\\', at + 1);
      if (!createLevel(full.substr(0, at), created)) return E_FAIL;
    }
    return created ? S_OK : fromWin32(ERROR_ALREADY_EXISTS);
  }

  HRESULT WINAPI DeleteKey(METADATA_HANDLE handle, LPCWSTR path) override {
    std::wstring full;
    if (!resolve(handle, path, full) || full.empty()) return E_INVALIDARG;
    std::lock_guard lock(registryMutex());
    // Named as a sub key, the key goes with its tree: nothing is left to delete after it.
    const LONG rc = RegDeleteTreeW(HKEY_LOCAL_MACHINE, registryPath(full).c_str());
    return fromWin32(rc == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : rc);
  }

  HRESULT WINAPI EnumKeys(METADATA_HANDLE handle, LPCWSTR path, LPWSTR name, DWORD index) override {
    std::wstring full;
    if (!resolve(handle, path, full)) return E_HANDLE;
    if (!name) return E_INVALIDARG;
    Key key(full, KEY_READ);
    if (!key) return fromWin32(ERROR_PATH_NOT_FOUND);
    std::vector<std::pair<DWORD, std::wstring>> children;
    wchar_t child[METADATA_MAX_NAME_LEN];
    for (DWORD i = 0;; ++i) {
      DWORD chars = METADATA_MAX_NAME_LEN;
      if (RegEnumKeyExW(key.get(), i, child, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      Key opened(full.empty() ? child : full + L"\\" + child, KEY_READ);
      children.emplace_back(readDword(opened.get(), kOrderValue), child);
    }
    if (index >= children.size()) return fromWin32(ERROR_NO_MORE_ITEMS);
    std::sort(children.begin(), children.end());
    wcsncpy(name, children[index].second.c_str(), METADATA_MAX_NAME_LEN - 1);
    name[METADATA_MAX_NAME_LEN - 1] = L'\0';
    return S_OK;
  }

  HRESULT WINAPI SetData(METADATA_HANDLE handle, LPCWSTR path, PMETADATA_RECORD record) override {
    std::wstring full;
    if (!resolve(handle, path, full)) return E_HANDLE;
    if (!record || (record->dwMDDataLen && !record->pbMDData)) return E_INVALIDARG;
    if (record->dwMDDataType < DWORD_METADATA || record->dwMDDataType > MULTISZ_METADATA) return E_INVALIDARG;
    Key key(full);
    if (!key) return fromWin32(ERROR_PATH_NOT_FOUND);
    const PropertyHeader header{record->dwMDAttributes, record->dwMDUserType, record->dwMDDataType};
    std::vector<BYTE> bytes(sizeof(header) + record->dwMDDataLen);
    std::memcpy(bytes.data(), &header, sizeof(header));
    if (record->dwMDDataLen) std::memcpy(bytes.data() + sizeof(header), record->pbMDData, record->dwMDDataLen);
    return fromWin32(RegSetValueExW(key.get(), std::to_wstring(record->dwMDIdentifier).c_str(), 0, REG_BINARY,
                                    bytes.data(), static_cast<DWORD>(bytes.size())));
  }

  HRESULT WINAPI GetData(METADATA_HANDLE handle, LPCWSTR path, PMETADATA_RECORD record, DWORD* required) override {
    std::wstring full;
    if (!resolve(handle, path, full)) return E_HANDLE;
    if (!record || !required) return E_INVALIDARG;
    if (!Key(full, KEY_READ)) return fromWin32(ERROR_PATH_NOT_FOUND);
    // An inherited read looks up the parents, nearest first, for a property they let inherit.
    for (std::wstring at = full;;) {
      std::vector<BYTE> bytes;
      if (readProperty(at, record, bytes) && (at == full || inheritable(bytes)))
        return deliver(bytes, at != full, record, required);
      if (!(record->dwMDAttributes & METADATA_INHERIT) || at.empty()) return MD_ERROR_DATA_NOT_FOUND;
      const std::size_t cut = at.rfind(L'\\');
      at = cut == std::wstring::npos ? L"" : at.substr(0, cut);
    }
  }

  HRESULT WINAPI DeleteData(METADATA_HANDLE handle, LPCWSTR path, DWORD identifier, DWORD dataType) override {
    std::wstring full;
    if (!resolve(handle, path, full)) return E_HANDLE;
    METADATA_RECORD probe{identifier, 0, ALL_METADATA, dataType, 0, nullptr, 0};
    std::vector<BYTE> bytes;
    if (!readProperty(full, &probe, bytes)) return MD_ERROR_DATA_NOT_FOUND;
    Key key(full);
    return fromWin32(RegDeleteValueW(key.get(), std::to_wstring(identifier).c_str()));
  }

  HRESULT WINAPI OpenKey(METADATA_HANDLE handle, LPCWSTR path, DWORD, DWORD, PMETADATA_HANDLE result) override {
    std::wstring full;
    if (!resolve(handle, path, full)) return E_HANDLE;
    if (!result) return E_INVALIDARG;
    if (!Key(full, KEY_READ)) return fromWin32(ERROR_PATH_NOT_FOUND);
    std::lock_guard lock(handlesMutex_);
    *result = ++lastHandle_;
    handles_[*result] = full;
    return S_OK;
  }

  HRESULT WINAPI CloseKey(METADATA_HANDLE handle) override {
    std::lock_guard lock(handlesMutex_);
    return handles_.erase(handle) ? S_OK : E_HANDLE;
  }

  HRESULT WINAPI DeleteChildKeys(METADATA_HANDLE, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT WINAPI CopyKey(METADATA_HANDLE, LPCWSTR, METADATA_HANDLE, LPCWSTR, WINBOOL, WINBOOL) override { return E_NOTIMPL; }
  HRESULT WINAPI RenameKey(METADATA_HANDLE, LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT WINAPI EnumData(METADATA_HANDLE, LPCWSTR, PMETADATA_RECORD, DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT WINAPI GetAllData(METADATA_HANDLE, LPCWSTR, DWORD, DWORD, DWORD, DWORD*, DWORD*, DWORD, unsigned char*,
                            DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT WINAPI DeleteAllData(METADATA_HANDLE, LPCWSTR, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT WINAPI CopyData(METADATA_HANDLE, LPCWSTR, METADATA_HANDLE, LPCWSTR, DWORD, DWORD, DWORD, WINBOOL) override {
    return E_NOTIMPL;
  }
  HRESULT WINAPI GetDataPaths(METADATA_HANDLE, LPCWSTR, DWORD, DWORD, DWORD, WCHAR*, DWORD*) override { return E_NOTIMPL; }
  HRESULT WINAPI ChangePermissions(METADATA_HANDLE, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT WINAPI SaveData() override { return S_OK; }  // every change is in the registry already
  HRESULT WINAPI GetHandleInfo(METADATA_HANDLE, PMETADATA_HANDLE_INFO) override { return E_NOTIMPL; }
  HRESULT WINAPI GetSystemChangeNumber(DWORD*) override { return E_NOTIMPL; }
  HRESULT WINAPI GetDataSetNumber(METADATA_HANDLE, LPCWSTR, DWORD*) override { return E_NOTIMPL; }
  HRESULT WINAPI SetLastChangeTime(METADATA_HANDLE, LPCWSTR, PFILETIME, WINBOOL) override { return E_NOTIMPL; }
  HRESULT WINAPI GetLastChangeTime(METADATA_HANDLE, LPCWSTR, PFILETIME, WINBOOL) override { return E_NOTIMPL; }
  HRESULT WINAPI KeyExchangePhase1() override { return E_NOTIMPL; }
  HRESULT WINAPI KeyExchangePhase2() override { return E_NOTIMPL; }
  HRESULT WINAPI Backup(LPCWSTR, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT WINAPI Restore(LPCWSTR, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT WINAPI EnumBackups(LPWSTR, DWORD*, PFILETIME, DWORD) override { return E_NOTIMPL; }
  HRESULT WINAPI DeleteBackup(LPCWSTR, DWORD) override { return E_NOTIMPL; }
  HRESULT WINAPI UnmarshalInterface(IMSAdminBaseW**) override { return E_NOTIMPL; }
  HRESULT WINAPI GetServerGuid() override { return E_NOTIMPL; }

 private:
  // Key creation numbers are read and written in steps: one writer at a time per process.
  static std::mutex& registryMutex() {
    static std::mutex m;
    return m;
  }

  bool resolve(METADATA_HANDLE handle, LPCWSTR path, std::wstring& full) {
    std::lock_guard lock(handlesMutex_);
    std::wstring base;
    if (handle != METADATA_MASTER_ROOT_HANDLE) {
      auto it = handles_.find(handle);
      if (it == handles_.end()) return false;
      base = it->second;
    }
    full = normalized(base, path);
    return true;
  }

  // The property's stored bytes (header first) when its identifier, user type and data type
  // match what the record asks for (ALL_METADATA: any).
  static bool readProperty(const std::wstring& path, const METADATA_RECORD* record, std::vector<BYTE>& bytes) {
    Key key(path, KEY_READ);
    if (!key) return false;
    const std::wstring name = std::to_wstring(record->dwMDIdentifier);
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS ||
        size < sizeof(PropertyHeader))
      return false;
    bytes.resize(size);
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, bytes.data(), &size) != ERROR_SUCCESS) return false;
    PropertyHeader header;
    std::memcpy(&header, bytes.data(), sizeof(header));
    if (record->dwMDUserType != ALL_METADATA && record->dwMDUserType != header.userType) return false;
    if (record->dwMDDataType != ALL_METADATA && record->dwMDDataType != header.dataType) return false;
    return true;
  }

  static bool inheritable(const std::vector<BYTE>& bytes) {
    PropertyHeader header;
    std::memcpy(&header, bytes.data(), sizeof(header));
    return (header.attributes & METADATA_INHERIT) != 0;
  }

  static HRESULT deliver(const std::vector<BYTE>& bytes, bool inherited, PMETADATA_RECORD record, DWORD* required) {
    PropertyHeader header;
    std::memcpy(&header, bytes.data(), sizeof(header));
    const DWORD length = static_cast<DWORD>(bytes.size() - sizeof(header));
    if (length > record->dwMDDataLen || !record->pbMDData) {
      *required = length;
      return fromWin32(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(record->pbMDData, bytes.data() + sizeof(header), length);
    record->dwMDDataLen = length;
    record->dwMDAttributes = header.attributes | (inherited ? METADATA_ISINHERITED : 0);
    record->dwMDUserType = header.userType;
    record->dwMDDataType = header.dataType;
    return S_OK;
  }

  std::atomic<long> references_{1};
  std::mutex handlesMutex_;
  std::map<METADATA_HANDLE, std::wstring> handles_;
  METADATA_HANDLE lastHandle_ = 0;
};

class Factory final : public IClassFactory {
 public:
  HRESULT WINAPI QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG WINAPI AddRef() override { return 2; }  // one static instance
  ULONG WINAPI Release() override { return 1; }
  HRESULT WINAPI CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* base = new (std::nothrow) AdminBase;
    if (!base) return E_OUTOFMEMORY;
    const HRESULT hr = base->QueryInterface(riid, object);
    base->Release();
    return hr;
  }
  HRESULT WINAPI LockServer(WINBOOL lock) override {
    lock ? ++liveObjects : --liveObjects;
    return S_OK;
  }
};

Factory factory;

}  // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) noexcept {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualGUID(clsid, CLSID_MSAdminBase_W)) return CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(riid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() noexcept { return liveObjects == 0 ? S_OK : S_FALSE; }
