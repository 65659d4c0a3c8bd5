#include "platform/com/com.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/fs/windows_path.h"
#include "platform/registry/registry.h"
#include "platform/text/wide_text.h"
#include "platform/ui/resources.h"

namespace {

struct Apartment {
  int joins = 0;
  DWORD kind = COINIT_MULTITHREADED;
};
thread_local Apartment t_apartment;

// Reads the default value of HKCR\CLSID\{...}\InprocServer32: the server's Windows path.
std::optional<std::string> inprocServerPath(REFCLSID clsid) {
  std::string sub = "CLSID\\" + platform::com::guidToString(clsid) + "\\InprocServer32";
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, sub.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return std::nullopt;
  char buffer[MAX_PATH * 4] = {};
  DWORD size = sizeof(buffer) - 1;
  DWORD type = 0;
  LONG rc = RegQueryValueExA(key, "", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
  return std::string(buffer, strnlen(buffer, size));
}

using DllMainFn = BOOL (*)(HINSTANCE, DWORD, void*);

}  // namespace

HRESULT CoInitializeEx(void*, DWORD coInit) noexcept {
  const DWORD kind = (coInit & COINIT_APARTMENTTHREADED) ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED;
  Apartment& a = t_apartment;
  if (a.joins > 0) {
    if (a.kind != kind) return RPC_E_CHANGED_MODE;
    ++a.joins;
    return S_FALSE;
  }
  a.kind = kind;
  a.joins = 1;
  return S_OK;
}

void CoUninitialize() noexcept {
  if (t_apartment.joins > 0) --t_apartment.joins;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object) noexcept try {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (t_apartment.joins == 0) return CO_E_NOTINITIALIZED;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (auto builtIn = platform::com::findBuiltInClass(clsid)) return (*builtIn)(riid, object);
  if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  auto winPath = inprocServerPath(clsid);
  if (!winPath) return REGDB_E_CLASSNOTREG;
  auto host = platform::fs::hostPath(*winPath);
  if (!host) return CO_E_DLLNOTFOUND;
  // Libraries stay loaded for the life of the process, as COM keeps them until
  // CoFreeUnusedLibraries, which the system never calls.
  std::string error;
  void* library = platform::com::loadModule(host->string(), error);
  if (!library) return CO_E_DLLNOTFOUND;
  auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(library, "DllGetClassObject"));
  if (!getClassObject) return CO_E_ERRORINDLL;
  IClassFactory* factory = nullptr;
  HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr) || !factory) return FAILED(hr) ? hr : E_UNEXPECTED;
  hr = factory->CreateInstance(nullptr, riid, object);
  factory->Release();
  return hr;
} catch (...) {
  return E_OUTOFMEMORY;
}

void* CoTaskMemAlloc(std::size_t bytes) noexcept { return std::malloc(bytes ? bytes : 1); }
void CoTaskMemFree(void* block) noexcept { std::free(block); }

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text) noexcept try {
  if (!text) return E_INVALIDARG;
  std::u16string wide = platform::text::widen(platform::com::guidToString(clsid));
  auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(OLECHAR)));
  if (!out) return E_OUTOFMEMORY;
  std::memcpy(out, wide.c_str(), (wide.size() + 1) * sizeof(OLECHAR));
  *text = out;
  return S_OK;
} catch (...) {
  return E_OUTOFMEMORY;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) noexcept try {
  if (!text || !clsid) return E_INVALIDARG;
  auto guid = platform::com::guidFromString(platform::text::narrow(text));
  if (!guid) return CO_E_CLASSSTRING;
  *clsid = *guid;
  return S_OK;
} catch (...) {
  return E_OUTOFMEMORY;
}

namespace platform::com {

void* loadModule(const std::string& hostPath, std::string& error) {
  // Held across DllMain, as Windows holds its loader lock: a second thread loading the same
  // module waits until the first has attached it.
  static std::mutex mutex;
  static std::set<void*> attached;  // dlopen gives one handle per module, whatever the path
  std::lock_guard lock(mutex);
  void* handle = dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* reason = dlerror();
    error = reason ? reason : "cannot be loaded";
    return nullptr;
  }
  if (attached.contains(handle)) {
    dlclose(handle);  // the first load's reference keeps it
    return handle;
  }
  if (auto dllMain = reinterpret_cast<DllMainFn>(dlsym(handle, "DllMain"))) {
    const HINSTANCE instance = platform::ui::moduleOf(reinterpret_cast<const void*>(dllMain));
    if (!dllMain(instance, DLL_PROCESS_ATTACH, nullptr)) {
      dlclose(handle);
      error = "its DllMain refused to attach";
      return nullptr;
    }
  }
  attached.insert(handle);
  return handle;
}

}  // namespace platform::com
