#include "mmc/sheet_opener.h"

#include <atomic>
#include <cstring>
#include <string>
#include <map>
#include <vector>

#include "platform/registry/unique_key.h"
#include "platform/ui/mmc.h"
#include "platform/ui/property_sheet.h"

namespace mmc {

namespace {

// The node the sheet is for. Extensions may hold it; it lives while they do. It tells its
// metabase path, so that an extension edits this site even when another has the same
// description.
class SiteNode final : public IDataObject {
 public:
  explicit SiteNode(int site) : metaPath_("/LM/W3SVC/" + std::to_string(site)) {}
  HRESULT GetDataHere(FORMATETC* format, STGMEDIUM* medium) override {
    if (!format || !medium) return E_POINTER;
    if (format->cfFormat != RegisterClipboardFormatA(CCF_ISM_META_PATH) || !(format->tymed & TYMED_HGLOBAL) ||
        medium->tymed != TYMED_HGLOBAL)
      return DV_E_FORMATETC;
    if (GlobalSize(medium->hGlobal) < metaPath_.size() + 1) return STG_E_MEDIUMFULL;
    auto* out = static_cast<char*>(GlobalLock(medium->hGlobal));
    if (!out) return E_INVALIDARG;
    std::memcpy(out, metaPath_.c_str(), metaPath_.size() + 1);
    GlobalUnlock(medium->hGlobal);
    return S_OK;
  }
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDataObject) return E_NOINTERFACE;
    *object = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 private:
  ~SiteNode() = default;
  std::string metaPath_;
  std::atomic<ULONG> references_{1};
};

class PageCollector final : public IPropertySheetCallback {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown && riid != IID_IPropertySheetCallback) return E_NOINTERFACE;
    *object = static_cast<IPropertySheetCallback*>(this);
    return S_OK;
  }
  // Lives on the opener's stack for the duration of CreatePropertyPages.
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT AddPage(HPROPSHEETPAGE page) override {
    if (!page) return E_INVALIDARG;
    pages.push_back(page);
    return S_OK;
  }
  HRESULT RemovePage(HPROPSHEETPAGE page) override {
    std::erase(pages, page);
    return S_OK;
  }
  std::vector<HPROPSHEETPAGE> pages;
};

std::map<int, HWND>& openSheets() {
  static std::map<int, HWND> sheets;
  return sheets;
}

std::vector<CLSID> registeredExtensions() {
  std::vector<CLSID> classes;
  UniqueKey key;
  const std::string path = std::string("SOFTWARE\\Microsoft\\MMC\\NodeTypes\\") + kWebSiteNodeType + "\\Extensions\\PropertySheet";
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return classes;
  for (DWORD index = 0;; ++index) {
    char name[kMaxRegKeyNameChars + 1];
    DWORD chars = sizeof(name);
    if (RegEnumValueA(key.get(), index, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (auto clsid = platform::com::guidFromString(name)) classes.push_back(*clsid);
  }
  return classes;
}

}  // namespace

void openSiteProperties(HWND owner, int site, const std::string& description) {
  if (auto it = openSheets().find(site); it != openSheets().end() && IsWindow(it->second)) {
    SetActiveWindow(it->second);
    return;
  }
  auto* node = new SiteNode(site);
  PageCollector collector;
  std::vector<IExtendPropertySheet*> extensions;
  for (const CLSID& clsid : registeredExtensions()) {
    IExtendPropertySheet* extension = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IExtendPropertySheet,
                                reinterpret_cast<void**>(&extension))))
      continue;
    if (extension->QueryPagesFor(node) == S_OK &&
        SUCCEEDED(extension->CreatePropertyPages(&collector, static_cast<LONG_PTR>(site), node))) {
      extensions.push_back(extension);
    } else {
      extension->Release();
    }
  }
  HWND sheet = platform::ui::createPropertySheet(description + " Properties", collector.pages, owner,
                                                 [site, node, extensions] {
                                                   for (IExtendPropertySheet* e : extensions) e->Release();
                                                   node->Release();
                                                   openSheets().erase(site);
                                                 });
  openSheets()[site] = sheet;
}

}  // namespace mmc
