#include "console/class_factory.h"

#include <new>

#include "console/module_state.h"
#include "console/property_sheet_extension.h"

namespace console {

ExtensionClassFactory::ExtensionClassFactory() { ++g_objectCount; }
ExtensionClassFactory::~ExtensionClassFactory() { --g_objectCount; }

HRESULT ExtensionClassFactory::QueryInterface(REFIID riid, void** object) noexcept {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
  *object = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

ULONG ExtensionClassFactory::AddRef() noexcept { return ++references_; }

ULONG ExtensionClassFactory::Release() noexcept {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT ExtensionClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) noexcept try {
  if (!object) return E_FAIL;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* extension = new (std::nothrow) PropertySheetExtension();
  if (!extension) return E_OUTOFMEMORY;
  const HRESULT hr = extension->QueryInterface(riid, object);
  // Without a first reference the object is destroyed again, leaving the count as it was.
  if (FAILED(hr)) extension->destroyUnreferenced();
  return hr;
} catch (...) {
  // The object's working copy could not be made.
  return E_OUTOFMEMORY;
}

HRESULT ExtensionClassFactory::LockServer(BOOL lock) noexcept {
  if (lock) ++g_lockCount;
  else --g_lockCount;
  return S_OK;
}

}  // namespace console
