// The dialogs that take one MIME rule, one browser or one file extension.

#include "console/dialog_support.h"
#include "console/resources/resource_ids.h"
#include "console/rule_editors.h"

namespace console {

namespace {

void prepareSlider(HWND dialog, int id, int level) {
  SendDlgItemMessageA(dialog, id, TBM_SETRANGE, TRUE, MAKELPARAM(kMinLevel, kMaxLevel));
  SendDlgItemMessageA(dialog, id, TBM_SETPOS, TRUE, level);
}

int sliderLevel(HWND dialog, int id) { return static_cast<int>(SendDlgItemMessageA(dialog, id, TBM_GETPOS, 0, 0)); }

void limitEdit(HWND dialog, int id) { SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, kEditLimit, 0); }

}  // namespace

INT_PTR CALLBACK MimeTypeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* entry = dialogData<MimeTypeEntry>(dialog);
  if (message == WM_INITDIALOG) {
    keepDialogData(dialog, lParam);
    entry = reinterpret_cast<MimeTypeEntry*>(lParam);
    SetWindowTextA(dialog, entry->caption.c_str());
    limitEdit(dialog, res::kMimeNameEdit);
    setItemText(dialog, res::kMimeNameEdit, entry->name);
    setChecked(dialog, res::kCompressCheck, entry->compress);
    prepareSlider(dialog, res::kLevelSlider, entry->level);
    return TRUE;
  }
  switch (clickedButton(message, wParam)) {
    case IDOK:
      entry->name = itemText(dialog, res::kMimeNameEdit);
      if (!acceptListItem(dialog, entry->name, "A MIME type name")) return TRUE;
      entry->compress = isChecked(dialog, res::kCompressCheck);
      entry->level = sliderLevel(dialog, res::kLevelSlider);
      return endDialog(dialog, IDOK);
    case IDCANCEL:
      return endDialog(dialog, IDCANCEL);
    default:
      return FALSE;
  }
}

bool editMimeRule(HWND owner, const std::string& caption, settings::MimeRule& rule) {
  MimeTypeEntry entry{caption, rule.Name.str(), rule.Compress != 0, rule.Level};
  if (!runDialog(res::kMimeTypeDialog, owner, MimeTypeDialogProc, reinterpret_cast<LPARAM>(&entry))) return false;
  if (entry.name.empty()) return false;
  rule.Name = keptText(entry.name, rule.Name.str(), kConsoleMimeNameChars);
  rule.Compress = entry.compress ? 1 : 0;
  rule.Level = entry.level;
  return true;
}

INT_PTR CALLBACK BrowserDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* entry = dialogData<BrowserEntry>(dialog);
  if (message == WM_INITDIALOG) {
    keepDialogData(dialog, lParam);
    entry = reinterpret_cast<BrowserEntry*>(lParam);
    SetWindowTextA(dialog, entry->caption.c_str());
    limitEdit(dialog, res::kBrowserNameEdit);
    limitEdit(dialog, res::kSearchTextEdit);
    setItemText(dialog, res::kBrowserNameEdit, entry->name);
    setItemText(dialog, res::kSearchTextEdit, entry->searchText);
    return TRUE;
  }
  switch (clickedButton(message, wParam)) {
    case IDOK:
      entry->name = itemText(dialog, res::kBrowserNameEdit);
      entry->searchText = itemText(dialog, res::kSearchTextEdit);
      // The display name is a value name and may hold commas; the search text is a list item.
      if (!acceptListItem(dialog, entry->searchText, "The user-agent search text")) return TRUE;
      return endDialog(dialog, IDOK);
    case IDCANCEL:
      return endDialog(dialog, IDCANCEL);
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK ExtensionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* entry = dialogData<ExtensionEntry>(dialog);
  if (message == WM_INITDIALOG) {
    keepDialogData(dialog, lParam);
    entry = reinterpret_cast<ExtensionEntry*>(lParam);
    SetWindowTextA(dialog, entry->caption.c_str());
    limitEdit(dialog, res::kExtensionNameEdit);
    setItemText(dialog, res::kExtensionNameEdit, entry->name);
    // The cached-extension variant has no slider.
    if (GetDlgItem(dialog, res::kExtensionSlider)) prepareSlider(dialog, res::kExtensionSlider, entry->level);
    return TRUE;
  }
  switch (clickedButton(message, wParam)) {
    case IDOK:
      entry->name = itemText(dialog, res::kExtensionNameEdit);
      if (!acceptListItem(dialog, entry->name, "A file extension")) return TRUE;
      if (GetDlgItem(dialog, res::kExtensionSlider)) entry->level = sliderLevel(dialog, res::kExtensionSlider);
      return endDialog(dialog, IDOK);
    case IDCANCEL:
      return endDialog(dialog, IDCANCEL);
    default:
      return FALSE;
  }
}

}  // namespace console
