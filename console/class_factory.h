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

  HRESULT QueryInterface(REFIID riid, void** object) noexcept override;
  ULONG AddRef() noexcept override;
  ULONG Release() noexcept override;
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) noexcept override;
  HRESULT LockServer(BOOL lock) noexcept override;

 private:
  ~ExtensionClassFactory();
  std::atomic<ULONG> references_{0};
};

}  // namespace console
