// "Tamsic Caching Preferences" and "Clear Cache Now".

#include "console/dialog_support.h"
#include "console/preference_dialogs.h"
#include "console/property_sheet_extension.h"
#include "console/resources/resource_ids.h"
#include "platform/text/ascii_case.h"
#include "settings/rule_lists.h"
#include "settings/site_folders.h"

namespace console {

namespace {

void enableLimit(HWND dialog, bool enabled) {
  enableItem(dialog, res::kLimitEdit, enabled);
  enableItem(dialog, res::kLimitLabel, enabled);
}

void show(HWND dialog, const WorkingCopy& copy) {
  CheckRadioButton(dialog, res::kCacheEnableRadio, res::kCacheDisableRadio,
                   copy.Cache.value ? res::kCacheEnableRadio : res::kCacheDisableRadio);
  setItemText(dialog, res::kCacheFolderEdit, copy.CacheFolder.value.str());
  SendDlgItemMessageA(dialog, res::kCacheFolderEdit, EM_LIMITTEXT, 255, 0);
  setItemNumber(dialog, res::kLimitEdit, copy.Limit.value);
  if (copy.NoLimit.value == 0) enableLimit(dialog, false);
  else setChecked(dialog, res::kLimitCheck, true);
  setChecked(dialog, res::kDynamicCacheCheck, copy.DynamicCache.value != 0);
  setChecked(dialog, res::kRemoveCacheCheck, copy.RemoveCache.value != 0);
  CheckRadioButton(dialog, res::kFollowHeadersRadio, res::kIgnoreHeadersRadio,
                   copy.CacheHeaders.value ? res::kFollowHeadersRadio : res::kIgnoreHeadersRadio);
}

// False (the dialog stays open) when the limit is not a size the readers take.
bool take(HWND dialog, WorkingCopy& copy) {
  // A limit not in force cannot be edited (its box is greyed): what is stored stays, and a
  // stored text that is no size must not keep the other settings from being taken.
  const bool limited = isChecked(dialog, res::kLimitCheck);
  std::optional<std::int32_t> limit;
  if (limited) {
    limit = acceptSize(dialog, itemText(dialog, res::kLimitEdit), 0, "The cache size limit");
    if (!limit) return false;
  }
  copy.Cache.set(isChecked(dialog, res::kCacheEnableRadio) ? 1 : 0);
  copy.CacheFolder.set(Path(itemText(dialog, res::kCacheFolderEdit)));
  copy.NoLimit.set(limited ? 1 : 0);
  copy.CacheHeaders.set(isChecked(dialog, res::kFollowHeadersRadio) ? 1 : 0);
  copy.DynamicCache.set(isChecked(dialog, res::kDynamicCacheCheck) ? 1 : 0);
  copy.RemoveCache.set(isChecked(dialog, res::kRemoveCacheCheck) ? 1 : 0);
  if (limit) copy.Limit.set(*limit);
  return true;
}

}  // namespace

void ClearCacheFolder(const std::string& cacheFolder) {
  if (cacheFolder.empty() || platform::text::equalsNoCase(cacheFolder, "C:\\")) return;
  settings::EmptyFolder(cacheFolder + settings::kCacheSubFolder);  // what cannot go stays
}

INT_PTR CALLBACK CachingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* extension = dialogData<PropertySheetExtension>(dialog);
  if (message == WM_INITDIALOG) {
    keepDialogData(dialog, lParam);
    show(dialog, reinterpret_cast<PropertySheetExtension*>(lParam)->copy);
    return TRUE;
  }
  switch (clickedButton(message, wParam)) {
    case res::kLimitCheck:
      enableLimit(dialog, isChecked(dialog, res::kLimitCheck));
      return TRUE;
    case res::kClearCacheButton:
      // The stored folder, not what the edit box shows now.
      ClearCacheFolder(extension->copy.CacheFolder.value.str());
      return TRUE;
    case res::kCachedFilesButton:
      runDialog(res::kExtensionListDialog, dialog, CachedExtensionsDialogProc, reinterpret_cast<LPARAM>(extension));
      return TRUE;
    case IDOK:
      if (!take(dialog, extension->copy)) return TRUE;
      return endDialog(dialog, IDOK);
    case IDCANCEL:
      return endDialog(dialog, IDCANCEL);
    default:
      return FALSE;
  }
}

}  // namespace console
