// A minimal in-process COM server for the activation tests: one class whose object answers
// IUnknown and counts its instances, and a DllMain that counts the attaches.

#include <atomic>

#include "platform/com/com.h"
#include "platform/ui/resources.h"

namespace {

constexpr CLSID kTestClass = {0x1A2B3C4D, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};
std::atomic<int> g_instances{0};
std::atomic<int> g_attaches{0};

class Object final : public IUnknown {
 public:
  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (riid != IID_IUnknown) return E_NOINTERFACE;
    *out = this;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (!left) delete this;
    return left;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

class Factory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    *out = this;
    return S_OK;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* object = new Object;
    HRESULT hr = object->QueryInterface(riid, out);
    object->Release();
    if (SUCCEEDED(hr)) ++g_instances;
    return hr;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid,
                                                                            void** out) noexcept {
  if (clsid != kTestClass) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, out);
}

extern "C" __attribute__((visibility("default"))) int TestServerInstances() noexcept { return g_instances; }

// The loader passes the module's own instance handle, as Windows does.
extern "C" __attribute__((visibility("default"))) BOOL DllMain(HINSTANCE__* instance, DWORD reason, void*) noexcept {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  if (instance != platform::ui::moduleOf(reinterpret_cast<const void*>(&DllMain))) return FALSE;
  ++g_attaches;
  return TRUE;
}

extern "C" __attribute__((visibility("default"))) int TestServerAttaches() noexcept { return g_attaches; }
