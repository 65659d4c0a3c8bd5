// The COM exports of squashconsole and its load-time set-up (what DllMain does on Windows:
// keep the instance handle; here also hand the resources to the window system). COM keeps
// the module loaded for the life of the process, so nothing is undone on unload.

#include <new>

#include "console/class_factory.h"
#include "console/module_state.h"
#include "console/registration.h"
#include "console/resources/resource_table.h"
#include "platform/ui/resources.h"

namespace console {

std::atomic<long> g_objectCount{0};
std::atomic<long> g_lockCount{0};

namespace {

HINSTANCE g_instance = nullptr;

__attribute__((constructor)) void attachToProcess() {
  g_instance = platform::ui::moduleOf(reinterpret_cast<const void*>(&attachToProcess));
  platform::ui::registerResources(g_instance, &res::resourceTable());
}

}  // namespace

HINSTANCE moduleInstance() { return g_instance; }

}  // namespace console

extern "C" {

HRESULT DllGetClassObject(REFCLSID classId, REFIID interfaceId, void** object) {
  if (!object) return E_FAIL;
  *object = nullptr;
  // The interface is checked before the class.
  if (interfaceId != IID_IUnknown && interfaceId != IID_IClassFactory) return E_NOINTERFACE;
  if (classId != console::CLSID_TamsicExtension) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) console::ExtensionClassFactory();
  if (!factory) return E_OUTOFMEMORY;
  return factory->QueryInterface(interfaceId, object);
}

HRESULT DllCanUnloadNow() {
  return console::g_objectCount == 0 && console::g_lockCount == 0 ? S_OK : S_FALSE;
}

HRESULT DllRegisterServer() { return console::registerServer(); }

HRESULT DllUnregisterServer() { return console::unregisterServer(); }

}  // extern "C"
