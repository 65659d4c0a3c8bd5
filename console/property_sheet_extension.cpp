#include "console/property_sheet_extension.h"

#include "console/main_page.h"
#include "console/module_state.h"
#include "console/resources/resource_ids.h"
#include "console/site_lookup.h"
#include "settings/reload_token.h"

namespace console {

PropertySheetExtension::PropertySheetExtension() { ++g_objectCount; }
PropertySheetExtension::~PropertySheetExtension() { --g_objectCount; }

HRESULT PropertySheetExtension::QueryInterface(REFIID riid, void** object) noexcept {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (riid != IID_IUnknown && riid != IID_IExtendPropertySheet) return E_NOINTERFACE;
  *object = static_cast<IExtendPropertySheet*>(this);
  AddRef();
  return S_OK;
}

ULONG PropertySheetExtension::AddRef() noexcept { return ++references_; }

ULONG PropertySheetExtension::Release() noexcept {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT PropertySheetExtension::QueryPagesFor(LPDATAOBJECT) noexcept { return S_OK; }

HRESULT PropertySheetExtension::CreatePropertyPages(LPPROPERTYSHEETCALLBACK callback, LONG_PTR,
                                                    LPDATAOBJECT dataObject) noexcept try {
  changed = false;
  nodeSite = SiteOfNode(dataObject);
  // The token the filter checks; read before the page exists, as the reload needs it.
  reloadToken = settings::ObtainReloadToken().value_or("");
  PROPSHEETPAGEA record{};
  record.dwSize = sizeof(record);
  record.dwFlags = PSP_USEICONID | PSP_USETITLE;
  record.hInstance = moduleInstance();
  record.pszTemplate = MAKEINTRESOURCEA(res::kMainPage);
  record.pszIcon = MAKEINTRESOURCEA(res::kPageIcon);
  record.pszTitle = MAKEINTRESOURCEA(res::kPageTitle);
  record.pfnDlgProc = MainPageProc;
  record.lParam = reinterpret_cast<LPARAM>(this);
  HPROPSHEETPAGE created = CreatePropertySheetPageA(&record);
  if (!created) return S_FALSE;
  pageHandle = created;
  if (!callback) return E_POINTER;
  return callback->AddPage(created);
} catch (...) {
  // The node's or the token's text could not be held: no page, and the console goes on.
  return E_OUTOFMEMORY;
}

}  // namespace console
