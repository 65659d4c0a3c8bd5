#pragma once
// The COM subset the system uses: GUIDs, IUnknown, IClassFactory, per-thread apartments and
// CoCreateInstance for the platform's built-in classes and for in-process servers registered
// under HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32 (loaded with dlopen, DllGetClassObject).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win_types.h"

#ifdef _WIN32
#include <objbase.h>
#else

using ULONG = std::uint32_t;
using OLECHAR = WCHAR;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
using CLSID = GUID;
using IID = GUID;
using REFGUID = const GUID&;
using REFCLSID = const GUID&;
using REFIID = const GUID&;

constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }

constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};

constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;

constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x800401F8);
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);
constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201);

// Joins the calling thread to an apartment. S_OK for the first join, S_FALSE for a repeated
// join of the same kind, RPC_E_CHANGED_MODE when the thread already joined the other kind.
HRESULT CoInitializeEx(void* reserved, DWORD coInit) noexcept;
// Leaves once; the thread leaves COM when every successful join has been matched.
void CoUninitialize() noexcept;

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object) noexcept;

void* CoTaskMemAlloc(std::size_t bytes) noexcept;
void CoTaskMemFree(void* block) noexcept;

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case; free with CoTaskMemFree.
HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text) noexcept;
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) noexcept;

// The exports an in-process server provides.
using DllGetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using DllRegisterServerFn = HRESULT (*)();

#endif  // _WIN32

namespace platform::com {

std::string guidToString(const GUID& guid);
// Accepts the braced form, either case; nullopt for anything else.
std::optional<GUID> guidFromString(std::string_view text);

// Loads a module as Windows loads a DLL: the first load in the process calls its DllMain
// with DLL_PROCESS_ATTACH and its instance handle; later loads return the same handle and
// call nothing. On Windows DllMain is the image's entry point; here the loader finds it by
// its exported name, so a module that needs one exports it. Returns the dlopen handle, or
// nullptr with the reason in error when the file cannot be loaded or DllMain returns FALSE.
// Thread-safe; modules stay loaded for the life of the process.
void* loadModule(const std::string& hostPath, std::string& error);

// A built-in class of the platform (the metabase's admin base object): makes one instance.
using BuiltInFactory = HRESULT (*)(REFIID riid, void** object);
std::optional<BuiltInFactory> findBuiltInClass(REFCLSID clsid);

}  // namespace platform::com
