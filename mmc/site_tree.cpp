#include "mmc/site_tree.h"

#include <unistd.h>

#include <string>

#include "mmc/sheet_opener.h"
#include "platform/metabase/admin_base.h"
#include "platform/ui/resources.h"
#include "settings/metabase_session.h"
#include "settings/rule_lists.h"

namespace mmc {

namespace {

using settings::MetabaseSession;

HTREEITEM addItem(HWND tree, HTREEITEM parent, const std::string& text, LPARAM site) {
  TVINSERTSTRUCTA insert{};
  insert.hParent = parent;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM;
  insert.item.pszText = const_cast<char*>(text.c_str());
  insert.item.lParam = site;
  return TreeView_InsertItem(tree, &insert);
}

void fillTree(HWND window) {
  HWND tree = GetDlgItem(window, kSiteTreeId);
  TreeView_DeleteAllItems(tree);
  char host[256] = "localhost";
  gethostname(host, sizeof(host) - 1);
  HTREEITEM computer = addItem(tree, TVI_ROOT, std::string(host) + " (local computer)", 0);
  HTREEITEM sites = addItem(tree, computer, "Web Sites", 0);
  for (DWORD index = 0;; ++index) {
    const auto name = MetabaseSession::EnumChildKey(index, nullptr);
    if (!name) break;
    const int site = settings::parseNumber(*name);
    if (site <= 0) continue;  // Filters, Info and other keys that are not sites
    const auto description =
        MetabaseSession::ReadSiteString(static_cast<DWORD>(site), MD_SERVER_COMMENT, IIS_MD_UT_SERVER, nullptr);
    if (description) addItem(tree, sites, *description, site);
  }
  TreeView_Expand(tree, computer, TVE_EXPAND);
  TreeView_Expand(tree, sites, TVE_EXPAND);
}

void openSelected(HWND window) {
  HWND tree = GetDlgItem(window, kSiteTreeId);
  HTREEITEM item = TreeView_GetSelection(tree);
  if (!item) return;
  char text[256] = {};
  TVITEMA data{};
  data.mask = TVIF_PARAM | TVIF_TEXT | TVIF_HANDLE;
  data.hItem = item;
  data.pszText = text;
  data.cchTextMax = sizeof(text);
  if (!TreeView_GetItem(tree, &data) || data.lParam <= 0) return;
  openSiteProperties(window, static_cast<int>(data.lParam), text);
}

INT_PTR siteTreeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      fillTree(window);
      return TRUE;
    case WM_NOTIFY:
      if (reinterpret_cast<const NMHDR*>(lParam)->code == NM_DBLCLK) openSelected(window);
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      if (LOWORD(wParam) == kPropertiesButton) openSelected(window);
      if (LOWORD(wParam) == kRefreshButton) fillTree(window);
      return TRUE;  // the main window stays: it has no close box
    default:
      return FALSE;
  }
}

}  // namespace

HWND showSiteTree() {
  using namespace platform::ui::tpl;
  static const platform::ui::DialogTemplate kTemplate = {
      1, kConsoleCaption, 240, 190,
      {
          treeView(kSiteTreeId, 7, 7, 226, 156),
          pushButton("Properties", kPropertiesButton, 128, 169, 50, 14),
          pushButton("Refresh", kRefreshButton, 183, 169, 50, 14),
      }};
  static const platform::ui::ResourceTable kResources{{&kTemplate}, {}, {}};
  HINSTANCE instance = platform::ui::moduleOf(reinterpret_cast<const void*>(&showSiteTree));
  platform::ui::registerResources(instance, &kResources);
  return CreateDialogParamA(instance, MAKEINTRESOURCEA(1), nullptr, siteTreeProc, 0);
}

}  // namespace mmc
