// The COM exports of squashconsole and its DllMain, which keeps the instance handle (and,
// on the platform's stand-in, hands the resources to the window system). COM keeps the
// module loaded for the life of the process, so nothing is undone on unload. No exception
// leaves an entry point: the host is not ours to bring down.

#include <new>

#include "console/class_factory.h"
#include "console/module_state.h"
#include "console/registration.h"
#include "console/resources/module_resources.h"

namespace console {

std::atomic<long> g_objectCount{0};
std::atomic<long> g_lockCount{0};

namespace {

HINSTANCE g_instance = nullptr;

}  // namespace

HINSTANCE moduleInstance() { return g_instance; }

}  // namespace console

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) noexcept try {
  if (reason == DLL_PROCESS_ATTACH) {
    console::g_instance = instance;
    console::res::registerModuleResources(instance);
  }
  return TRUE;
} catch (...) {
  return FALSE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID interfaceId, void** object) noexcept {
  if (!object) return E_FAIL;
  *object = nullptr;
  // The interface is checked before the class.
  if (interfaceId != IID_IUnknown && interfaceId != IID_IClassFactory) return E_NOINTERFACE;
  if (classId != console::CLSID_TamsicExtension) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) console::ExtensionClassFactory();
  if (!factory) return E_OUTOFMEMORY;
  return factory->QueryInterface(interfaceId, object);
}

HRESULT WINAPI DllCanUnloadNow() noexcept {
  return console::g_objectCount == 0 && console::g_lockCount == 0 ? S_OK : S_FALSE;
}

HRESULT WINAPI DllRegisterServer() noexcept try {
  return console::registerServer();
} catch (...) {
  return E_UNEXPECTED;
}

HRESULT WINAPI DllUnregisterServer() noexcept try {
  return console::unregisterServer();
} catch (...) {
  return E_UNEXPECTED;
}

}  // extern "C"
