// "MIME Type List": the site's MIME rules (a copy, kept only when the editor ends with OK).

#include "console/console_defaults.h"
#include "console/dialog_support.h"
#include "console/precedence_check.h"
#include "console/resources/resource_ids.h"
#include "console/rule_editors.h"
#include "console/rule_tree.h"
#include "settings/default_tables.h"

namespace console {

namespace {

HWND treeOf(HWND dialog) { return GetDlgItem(dialog, res::kRuleTree); }

void addRule(HWND dialog, MimeEditorData& data) {
  const TreePosition at = selectedPosition(treeOf(dialog));
  const bool topLevel = at.level <= 1;
  MimeTypeEntry entry{topLevel ? "Add top-level MIME type" : "Add MIME sub-type", "", false, kNewRuleLevel};
  if (!runDialog(res::kMimeTypeDialog, dialog, MimeTypeDialogProc, reinterpret_cast<LPARAM>(&entry))) return;
  if (entry.name.empty()) return;
  auto& list = *data.list;
  const int compress = entry.compress ? 1 : 0;
  if (topLevel) {
    if (!confirmMimeTypeAdd(dialog, *data.browsers, entry.name, std::nullopt)) return;
    settings::appendMimeRule(list, withinLimit(entry.name, kConsoleMimeNameChars), compress, entry.level);
    showMimeTree(treeOf(dialog), list, {2, -1, static_cast<int>(list.size()) - 1, -1});
    return;
  }
  if (at.type < 0 || at.type >= static_cast<int>(list.size())) return;
  const std::string type = list[static_cast<std::size_t>(at.type)].Name.str();
  if (!confirmMimeTypeAdd(dialog, *data.browsers, type, std::string_view(entry.name))) return;
  const auto [owner, last] = appendSubType(list, type, withinLimit(entry.name, kConsoleMimeNameChars), compress, entry.level);
  showMimeTree(treeOf(dialog), list, {3, -1, owner, last});
}

void editRule(HWND dialog, MimeEditorData& data) {
  const TreePosition at = selectedPosition(treeOf(dialog));
  settings::MimeRule* rule = at.level >= 2 ? ruleAt(*data.list, at) : nullptr;
  if (!rule) return;
  if (editMimeRule(dialog, at.level == 2 ? "Edit top-level MIME type" : "Edit MIME sub-type", *rule))
    showMimeTree(treeOf(dialog), *data.list, at);
}

void removeRule(HWND dialog, MimeEditorData& data) {
  const TreePosition at = selectedPosition(treeOf(dialog));
  auto& list = *data.list;
  if (at.level < 2 || !ruleAt(list, at)) return;
  if (at.sub < 0) list.erase(list.begin() + at.type);
  else {
    auto& subs = list[static_cast<std::size_t>(at.type)].SubTypes;
    subs.erase(subs.begin() + at.sub);
  }
  showMimeTree(treeOf(dialog), list, {});
}

}  // namespace

INT_PTR CALLBACK MimeListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* data = dialogData<MimeEditorData>(dialog);
  if (message == WM_INITDIALOG) {
    keepDialogData(dialog, lParam);
    data = reinterpret_cast<MimeEditorData*>(lParam);
    showMimeTree(treeOf(dialog), *data->list, {});
    return TRUE;
  }
  switch (clickedButton(message, wParam)) {
    case res::kAddButton:
      addRule(dialog, *data);
      return TRUE;
    case res::kEditButton:
      editRule(dialog, *data);
      return TRUE;
    case res::kRemoveButton:
      removeRule(dialog, *data);
      return TRUE;
    case res::kRestoreButton:
      *data->list = defaultMimeList();
      showMimeTree(treeOf(dialog), *data->list, {});
      return TRUE;
    case IDOK:
      return endDialog(dialog, IDOK);
    case IDCANCEL:
      return endDialog(dialog, IDCANCEL);
    default:
      return FALSE;
  }
}

}  // namespace console
