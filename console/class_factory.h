#pragma once
// The class factory of the extension object.

#include <atomic>

#include "platform/com/com.h"

namespace console {

class ExtensionClassFactory final : public IClassFactory {
 public:
  // Counts itself in the object count until it deletes itself.
  ExtensionClassFactory();
  ExtensionClassFactory(const ExtensionClassFactory&) = delete;
  ExtensionClassFactory& operator=(const ExtensionClassFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override;
  ULONG STDMETHODCALLTYPE AddRef() noexcept override;
  ULONG STDMETHODCALLTYPE Release() noexcept override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) noexcept override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override;

 private:
  ~ExtensionClassFactory();
  std::atomic<ULONG> references_{0};
};

}  // namespace console
