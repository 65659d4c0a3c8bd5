// "File Extension List" for the compression level by extension: a copy of the list, stored at
// once on OK and kept by the Advanced dialog.

#include <algorithm>

#include "console/console_defaults.h"
#include "console/dialog_support.h"
#include "console/resources/resource_ids.h"
#include "console/rule_editors.h"
#include "console/site_store.h"
#include "settings/rule_lists.h"

namespace console {

namespace {

// With its leading dot, within the console's limit.
std::string withDot(const std::string& text) {
  return withinLimit(text.front() == '.' ? text : "." + text, kConsoleExtensionChars);
}

auto findRule(std::vector<settings::ExtensionRule>& list, const std::string& name) {
  return std::find_if(list.begin(), list.end(), [&](const settings::ExtensionRule& r) { return r.Name.str() == name; });
}

int addToList(HWND dialog, const std::string& text) {
  const auto index = SendDlgItemMessageA(dialog, res::kExtensionList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  SendDlgItemMessageA(dialog, res::kExtensionList, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  return static_cast<int>(index);
}

void add(HWND dialog, ExtensionEditorData& data) {
  ExtensionEntry entry{"Add File Extension", "", kNewRuleLevel};
  if (!runDialog(res::kExtensionDialog, dialog, ExtensionDialogProc, reinterpret_cast<LPARAM>(&entry))) return;
  if (entry.name.empty()) return;
  const settings::ExtensionRule rule{withDot(entry.name), entry.level};
  addToList(dialog, rule.Name.str());
  data.list->push_back(rule);
}

void edit(HWND dialog, ExtensionEditorData& data) {
  const auto index = static_cast<int>(SendDlgItemMessageA(dialog, res::kExtensionList, LB_GETCURSEL, 0, 0));
  if (index < 0) return;
  const std::string old = listText(dialog, res::kExtensionList, index);
  auto rule = findRule(*data.list, old);
  ExtensionEntry entry{"Edit File Extension", old, rule != data.list->end() ? rule->Level : kNewRuleLevel};
  if (!runDialog(res::kExtensionDialog, dialog, ExtensionDialogProc, reinterpret_cast<LPARAM>(&entry))) return;
  if (entry.name.empty()) return;
  std::string name = old;
  if (entry.name != old) {
    name = withDot(entry.name);
    SendDlgItemMessageA(dialog, res::kExtensionList, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    addToList(dialog, name);
  }
  if (rule != data.list->end()) {
    rule->Name = name;
    rule->Level = entry.level;
  }
}

void remove(HWND dialog, ExtensionEditorData& data) {
  const auto index = static_cast<int>(SendDlgItemMessageA(dialog, res::kExtensionList, LB_GETCURSEL, 0, 0));
  if (index < 0) return;
  const std::string name = listText(dialog, res::kExtensionList, index);
  SendDlgItemMessageA(dialog, res::kExtensionList, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
  if (auto rule = findRule(*data.list, name); rule != data.list->end()) data.list->erase(rule);
}

}  // namespace

INT_PTR CALLBACK ExtensionListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* data = dialogData<ExtensionEditorData>(dialog);
  if (message == WM_INITDIALOG) {
    keepDialogData(dialog, lParam);
    data = reinterpret_cast<ExtensionEditorData*>(lParam);
    if (data->list->empty()) *data->list = defaultExtensionList();
    for (const auto& rule : *data->list)
      SendDlgItemMessageA(dialog, res::kExtensionList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(rule.Name.c_str()));
    return TRUE;
  }
  switch (clickedButton(message, wParam)) {
    case res::kExtensionAdd:
      add(dialog, *data);
      return TRUE;
    case res::kExtensionEdit:
      edit(dialog, *data);
      return TRUE;
    case res::kExtensionRemove:
      remove(dialog, *data);
      return TRUE;
    case IDOK:
      // Stored at once; without the site's key the dialog stays open.
      if (storeIfSiteExists(data->site, "FileExtensions", settings::formatExtensionList(*data->list)))
        return endDialog(dialog, IDOK);
      return TRUE;
    case IDCANCEL:
      return endDialog(dialog, IDCANCEL);
    default:
      return FALSE;
  }
}

}  // namespace console
