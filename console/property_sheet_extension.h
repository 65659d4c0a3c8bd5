#pragma once
// The extension object: adds the Tamsic page to a web site's property sheet and carries the
// page's state, so that each sheet has its own working copy.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "console/working_copy.h"
#include "platform/ui/mmc.h"

namespace console {

class PropertySheetExtension final : public IExtendPropertySheet {
 public:
  // Counts itself in the object count until it deletes itself.
  PropertySheetExtension();
  PropertySheetExtension(const PropertySheetExtension&) = delete;
  PropertySheetExtension& operator=(const PropertySheetExtension&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override;
  ULONG STDMETHODCALLTYPE AddRef() noexcept override;
  ULONG STDMETHODCALLTYPE Release() noexcept override;
  HRESULT STDMETHODCALLTYPE CreatePropertyPages(LPPROPERTYSHEETCALLBACK callback, LONG_PTR handle,
                                                LPDATAOBJECT dataObject) noexcept override;
  HRESULT STDMETHODCALLTYPE QueryPagesFor(LPDATAOBJECT dataObject) noexcept override;

  // For a factory whose QueryInterface failed before anyone held the object.
  void destroyUnreferenced() { delete this; }

  // The page's state.
  bool changed = false;
  // A dialog reached from "Advanced" changed the working copy: closed with Cancel, Advanced
  // keeps those changes, and the page must still count as changed.
  bool advancedEdits = false;
  HPROPSHEETPAGE pageHandle = nullptr;  // the page as created
  HWND pageWindow = nullptr;             // its window, once initialised
  std::string installFolder;
  std::string boundAddress;
  std::optional<std::uint16_t> boundPort;  // the port the site's binding names
  std::optional<std::string> hostName;
  std::string reloadToken;
  int site = -1;  // -1: no web site behind the node; the page is inert
  // The site of the node the sheet was opened for, when the node tells its metabase path;
  // the page then does not look the site up by the sheet's title.
  std::optional<int> nodeSite;
  WorkingCopy copy;

 private:
  ~PropertySheetExtension();
  std::atomic<ULONG> references_{0};
};

}  // namespace console
