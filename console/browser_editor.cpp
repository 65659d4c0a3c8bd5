// "Browser Definitions": the browsers and their own MIME rules, edited in the working copy
// itself (Cancel keeps the edits too).

#include <algorithm>

#include "console/console_defaults.h"
#include "console/dialog_support.h"
#include "console/precedence_check.h"
#include "console/resources/resource_ids.h"
#include "console/rule_editors.h"
#include "console/rule_tree.h"
#include "platform/text/ascii_case.h"
#include "settings/default_tables.h"

namespace console {

namespace {

HWND treeOf(HWND dialog) { return GetDlgItem(dialog, res::kRuleTree); }

void captionAddButton(HWND dialog) {
  const TreePosition at = selectedPosition(treeOf(dialog));
  if (at.level == 0) return;
  const char* caption = at.level == 1 ? "Add New Browser" : at.level == 2 ? "Insert MIME Type" : "Insert MIME Subtype";
  SetDlgItemTextA(dialog, res::kAddButton, caption);
}

void show(HWND dialog, const BrowserEditorData& data, const TreePosition& select) {
  showBrowserTree(treeOf(dialog), *data.browsers, select);
  captionAddButton(dialog);
}

settings::BrowserRule* browserAt(BrowserEditorData& data, const TreePosition& at) {
  if (at.browser < 0 || at.browser >= static_cast<int>(data.browsers->size())) return nullptr;
  return &(*data.browsers)[static_cast<std::size_t>(at.browser)];
}

// The store keeps each browser as a value named after it, and value names ignore case: a
// second browser of a name already taken would replace the first when stored. Such a name
// is refused; `self` is the browser being renamed, which may keep its own.
bool acceptBrowserName(HWND dialog, const BrowserEditorData& data, const std::string& name,
                       const settings::BrowserRule* self) {
  const bool taken = std::any_of(data.browsers->begin(), data.browsers->end(), [&](const settings::BrowserRule& other) {
    return &other != self && platform::text::equalsNoCase(other.DisplayName.str(), name);
  });
  if (!taken) return true;
  const std::string message = "A browser named \"" + name +
                              "\" is in the list already (names are compared without regard to case): the settings "
                              "store keeps each browser under its name, so one would replace the other.";
  MessageBoxA(dialog, message.c_str(), "Tamsic", MB_OK | MB_ICONEXCLAMATION);
  return false;
}

void addBrowser(HWND dialog, BrowserEditorData& data) {
  BrowserEntry entry{"Add Browser", "", ""};
  if (!runDialog(res::kBrowserDialog, dialog, BrowserDialogProc, reinterpret_cast<LPARAM>(&entry))) return;
  if (entry.name.empty()) return;
  settings::BrowserRule rule;
  rule.DisplayName = withinLimit(entry.name, kConsoleBrowserTextChars);
  if (!acceptBrowserName(dialog, data, rule.DisplayName.str(), nullptr)) return;
  // Without a search text the name is the search text; a name with a comma cannot be one.
  const std::string& term = entry.searchText.empty() ? entry.name : entry.searchText;
  if (!acceptListItem(dialog, term, "The user-agent search text (here the browser's name)")) return;
  rule.SearchTerm = withinLimit(term, kConsoleBrowserTextChars);
  data.browsers->push_back(std::move(rule));
  show(dialog, data, {2, static_cast<int>(data.browsers->size()) - 1, -1, -1});
}

void addMimeRule(HWND dialog, BrowserEditorData& data, const TreePosition& at) {
  settings::BrowserRule* browser = browserAt(data, at);
  if (!browser) return;
  const bool topLevel = at.level == 2;
  const std::string name = browser->DisplayName.str();
  MimeTypeEntry entry{(topLevel ? "Add top-level MIME type for " : "Add MIME sub-type for ") + name, "", false,
                      kNewRuleLevel};
  if (!runDialog(res::kMimeTypeDialog, dialog, MimeTypeDialogProc, reinterpret_cast<LPARAM>(&entry))) return;
  if (entry.name.empty()) return;
  auto& list = browser->MimeRules;
  const int compress = entry.compress ? 1 : 0;
  if (topLevel) {
    if (!confirmBrowserMimeAdd(dialog, *data.mimeTypes, entry.name, std::nullopt)) return;
    settings::appendMimeRule(list, withinLimit(entry.name, kConsoleMimeNameChars), compress, entry.level);
    show(dialog, data, {3, at.browser, static_cast<int>(list.size()) - 1, -1});
    return;
  }
  if (at.type < 0 || at.type >= static_cast<int>(list.size())) return;
  const std::string type = list[static_cast<std::size_t>(at.type)].Name.str();
  if (!confirmBrowserMimeAdd(dialog, *data.mimeTypes, type, std::string_view(entry.name))) return;
  const auto [owner, last] = appendSubType(list, type, withinLimit(entry.name, kConsoleMimeNameChars), compress, entry.level);
  show(dialog, data, {4, at.browser, owner, last});
}

void editItem(HWND dialog, BrowserEditorData& data) {
  const TreePosition at = selectedPosition(treeOf(dialog));
  settings::BrowserRule* browser = browserAt(data, at);
  if (at.level < 2 || !browser) return;
  if (at.level == 2) {
    BrowserEntry entry{"Edit Browser", browser->DisplayName.str(), browser->SearchTerm.str()};
    if (!runDialog(res::kBrowserDialog, dialog, BrowserDialogProc, reinterpret_cast<LPARAM>(&entry))) return;
    if (entry.name.empty()) return;
    // What was left unchanged stays whole; what was typed is kept within the console's limits.
    const std::string name = keptText(entry.name, browser->DisplayName.str(), kConsoleBrowserTextChars);
    if (!acceptBrowserName(dialog, data, name, browser)) return;
    browser->DisplayName = name;
    browser->SearchTerm = keptText(entry.searchText, browser->SearchTerm.str(), kConsoleBrowserTextChars);  // even empty
    show(dialog, data, at);
    return;
  }
  settings::MimeRule* rule = ruleAt(browser->MimeRules, at);
  if (!rule) return;
  const std::string caption =
      (at.level == 3 ? "Edit top-level MIME type for " : "Edit MIME sub-type for ") + browser->DisplayName.str();
  if (editMimeRule(dialog, caption, *rule)) show(dialog, data, at);
}

void removeItem(HWND dialog, BrowserEditorData& data) {
  const TreePosition at = selectedPosition(treeOf(dialog));
  settings::BrowserRule* browser = browserAt(data, at);
  if (at.level < 2 || !browser) return;
  if (at.level == 2) {
    data.browsers->erase(data.browsers->begin() + at.browser);
  } else if (ruleAt(browser->MimeRules, at)) {
    auto& list = browser->MimeRules;
    if (at.sub < 0) list.erase(list.begin() + at.type);
    else list[static_cast<std::size_t>(at.type)].SubTypes.erase(list[static_cast<std::size_t>(at.type)].SubTypes.begin() + at.sub);
  }
  show(dialog, data, {});
}

}  // namespace

INT_PTR CALLBACK BrowserListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* data = dialogData<BrowserEditorData>(dialog);
  if (message == WM_INITDIALOG) {
    keepDialogData(dialog, lParam);
    data = reinterpret_cast<BrowserEditorData*>(lParam);
    if (data->browsers->empty()) *data->browsers = defaultBrowserList();
    show(dialog, *data, {});
    return TRUE;
  }
  if (message == WM_NOTIFY) {
    if (reinterpret_cast<const NMHDR*>(lParam)->code == TVN_SELCHANGEDA) captionAddButton(dialog);
    return TRUE;
  }
  switch (clickedButton(message, wParam)) {
    case res::kAddButton: {
      const TreePosition at = selectedPosition(treeOf(dialog));
      if (at.level <= 1) addBrowser(dialog, *data);
      else addMimeRule(dialog, *data, at);
      return TRUE;
    }
    case res::kEditButton:
      editItem(dialog, *data);
      return TRUE;
    case res::kRemoveButton:
      removeItem(dialog, *data);
      return TRUE;
    case res::kRestoreButton:
      *data->browsers = defaultBrowserList();
      show(dialog, *data, {});
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
