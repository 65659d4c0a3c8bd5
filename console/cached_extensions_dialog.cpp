// The list of cached file extensions ("File Extension List" without its Edit button). It
// works on the working copy itself and stores the list at once on OK.

#include <algorithm>

#include "console/console_defaults.h"
#include "console/dialog_support.h"
#include "console/preference_dialogs.h"
#include "console/property_sheet_extension.h"
#include "console/resources/resource_ids.h"
#include "console/rule_editors.h"
#include "console/site_store.h"
#include "settings/rule_lists.h"

namespace console {

namespace {

void load(HWND dialog, PropertySheetExtension& extension) {
  auto& list = extension.copy.CacheExt.edit();
  list.clear();
  if (auto stored = readSiteText(extension.site, "CacheExt"))
    for (std::string_view item : settings::splitCommaList(*stored)) list.emplace_back(item);
  if (list.empty()) list = defaultCachedExtensions();
  for (const auto& name : list)
    SendDlgItemMessageA(dialog, res::kExtensionList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
}

void add(HWND dialog, PropertySheetExtension& extension) {
  ExtensionEntry entry{"Add File Extension", "", 0};
  if (!runDialog(res::kCachedExtensionDialog, dialog, ExtensionDialogProc, reinterpret_cast<LPARAM>(&entry))) return;
  if (entry.name.empty()) return;
  const ExtensionName name(withinLimit(entry.name.front() == '.' ? entry.name : "." + entry.name, kConsoleExtensionChars));
  const auto index =
      SendDlgItemMessageA(dialog, res::kExtensionList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  SendDlgItemMessageA(dialog, res::kExtensionList, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  extension.copy.CacheExt.edit().push_back(name);
}

void remove(HWND dialog, PropertySheetExtension& extension) {
  const auto index = static_cast<int>(SendDlgItemMessageA(dialog, res::kExtensionList, LB_GETCURSEL, 0, 0));
  if (index < 0) return;
  const std::string name = listText(dialog, res::kExtensionList, index);
  SendDlgItemMessageA(dialog, res::kExtensionList, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
  auto& list = extension.copy.CacheExt.edit();
  if (auto it = std::find_if(list.begin(), list.end(), [&](const ExtensionName& n) { return n.str() == name; });
      it != list.end())
    list.erase(it);
}

}  // namespace

INT_PTR CALLBACK CachedExtensionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* extension = dialogData<PropertySheetExtension>(dialog);
  if (message == WM_INITDIALOG) {
    keepDialogData(dialog, lParam);
    extension = reinterpret_cast<PropertySheetExtension*>(lParam);
    enableItem(dialog, res::kExtensionEdit, false);
    load(dialog, *extension);
    return TRUE;
  }
  switch (clickedButton(message, wParam)) {
    case res::kExtensionAdd:
      add(dialog, *extension);
      return TRUE;
    case res::kExtensionRemove:
      remove(dialog, *extension);
      return TRUE;
    case IDOK:
      storeIfSiteExists(extension->site, "CacheExt", joinExtensions(extension->copy.CacheExt.value));
      return endDialog(dialog, IDOK);
    case IDCANCEL:
      return endDialog(dialog, IDCANCEL);
    default:
      return FALSE;
  }
}

}  // namespace console
