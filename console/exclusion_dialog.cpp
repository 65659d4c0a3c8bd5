// "Tamsic Exclusion List" and its two add dialogs, with the open-file dialog and the folder
// chooser behind "Browse".

#include <algorithm>
#include <cstring>

#include "console/dialog_support.h"
#include "console/preference_dialogs.h"
#include "console/property_sheet_extension.h"
#include "console/resources/resource_ids.h"
#include "console/site_store.h"
#include "platform/com/com.h"
#include "platform/ui/common_dialogs.h"

namespace console {

namespace {

constexpr int kListExtent = 1000;  // pixels the list scrolls sideways

std::string browseFile(HWND dialog) {
  char path[MAX_PATH] = {};
  OPENFILENAMEA request{};
  request.lStructSize = sizeof(request);
  request.hwndOwner = dialog;
  request.lpstrFilter = "HTML Files (*.htm)\0*.htm\0AllFiles(*.*)\0*.*\0";
  request.lpstrFile = path;
  request.nMaxFile = sizeof(path);
  request.lpstrDefExt = "htm";
  request.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST;
  if (!GetOpenFileNameA(&request)) return {};
  return ExclusionFromPath(path);
}

std::string browseFolder(HWND dialog) {
  char name[MAX_PATH] = {};
  BROWSEINFOA request{};
  request.hwndOwner = dialog;
  request.pszDisplayName = name;
  request.lpszTitle = "Chose Folder to Exclude.";
  LPITEMIDLIST chosen = SHBrowseForFolderA(&request);
  if (!chosen) return {};
  char path[MAX_PATH] = {};
  const BOOL ok = SHGetPathFromIDListA(chosen, path);
  CoTaskMemFree(chosen);
  return ok ? ExclusionFromPath(path) + "\\*" : std::string();
}

void addEntry(HWND dialog, const std::string& text) {
  // An entry already listed (in any letter case) is selected instead of added twice.
  auto index = SendDlgItemMessageA(dialog, res::kExclusionList, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>(text.c_str()));
  if (index == LB_ERR)
    index = SendDlgItemMessageA(dialog, res::kExclusionList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  SendDlgItemMessageA(dialog, res::kExclusionList, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void add(HWND dialog, bool directory) {
  ExclusionEntry entry{directory, ""};
  if (!runDialog(res::kExclusionAddDialog, dialog, ExclusionAddDialogProc, reinterpret_cast<LPARAM>(&entry))) return;
  if (!entry.text.empty()) addEntry(dialog, entry.text);
}

void store(HWND dialog, PropertySheetExtension& extension) {
  auto& list = extension.copy.NewExclude.edit();
  list.clear();
  const auto count = SendDlgItemMessageA(dialog, res::kExclusionList, LB_GETCOUNT, 0, 0);
  for (int i = 0; i < count; ++i) list.emplace_back(listText(dialog, res::kExclusionList, i));
  storeIfSiteExists(extension.site, "NewExclude", joinPaths(list));
}

}  // namespace

std::string ExclusionFromPath(const std::string& path) {
  // A ';' stays: turned into ',' it split the entry in the stored list.
  std::string out = path;
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

INT_PTR CALLBACK ExclusionAddDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* entry = dialogData<ExclusionEntry>(dialog);
  if (message == WM_INITDIALOG) {
    keepDialogData(dialog, lParam);
    entry = reinterpret_cast<ExclusionEntry*>(lParam);
    SendDlgItemMessageA(dialog, res::kExclusionEdit, EM_LIMITTEXT, 255, 0);
    if (entry->directory) {
      SetWindowTextA(dialog, "Add Directory To Exclude");
      setItemText(dialog, res::kExclusionLabel, "Directory Name:");
    }
    return TRUE;
  }
  switch (clickedButton(message, wParam)) {
    case res::kBrowseButton: {
      const std::string chosen = entry->directory ? browseFolder(dialog) : browseFile(dialog);
      if (!chosen.empty()) setItemText(dialog, res::kExclusionEdit, chosen);
      return TRUE;
    }
    case IDOK:
      entry->text = itemText(dialog, res::kExclusionEdit);
      if (!acceptListItem(dialog, entry->text, entry->directory ? "A directory name" : "A file name")) return TRUE;
      return endDialog(dialog, IDOK);
    case IDCANCEL:
      return endDialog(dialog, IDCANCEL);
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK ExclusionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* extension = dialogData<PropertySheetExtension>(dialog);
  if (message == WM_INITDIALOG) {
    keepDialogData(dialog, lParam);
    extension = reinterpret_cast<PropertySheetExtension*>(lParam);
    SendDlgItemMessageA(dialog, res::kExclusionList, LB_SETHORIZONTALEXTENT, kListExtent, 0);
    for (const Path& entry : extension->copy.NewExclude.value)
      SendDlgItemMessageA(dialog, res::kExclusionList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    return TRUE;
  }
  switch (clickedButton(message, wParam)) {
    case res::kAddFileButton:
      add(dialog, false);
      return TRUE;
    case res::kAddDirectoryButton:
      add(dialog, true);
      return TRUE;
    case res::kExclusionRemove: {
      const auto index = SendDlgItemMessageA(dialog, res::kExclusionList, LB_GETCURSEL, 0, 0);
      if (index >= 0) SendDlgItemMessageA(dialog, res::kExclusionList, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
      return TRUE;
    }
    case IDOK:
      store(dialog, *extension);
      return endDialog(dialog, IDOK);
    case IDCANCEL:
      return endDialog(dialog, IDCANCEL);
    default:
      return FALSE;
  }
}

}  // namespace console
