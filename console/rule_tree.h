#pragma once
// The tree views of the MIME and browser editors. Each item carries its level and where its
// rule is in the list (browser, type and sub-type index), so the editors find the rule of
// the selected item without looking names up. The trees are rebuilt from the lists after
// each change, so they always show the lists as they are.

#include <string>
#include <vector>

#include "platform/ui/win_user.h"
#include "settings/site_settings.h"

namespace console {

struct TreePosition {
  int level = 0;  // 0: nothing selected; 1: the root
  int browser = -1;
  int type = -1;
  int sub = -1;
};

TreePosition selectedPosition(HWND tree);

// The rule at the position's type (and sub-type, when it has one) in list, or null.
settings::MimeRule* ruleAt(std::vector<settings::MimeRule>& list, const TreePosition& at);

// Appends a sub-type under the first type named exactly type (as the lists are searched);
// where it went, as the position's type and sub-type indexes.
std::pair<int, int> appendSubType(std::vector<settings::MimeRule>& list, const std::string& type,
                                  const std::string& name, int compress, int level);

// Rebuilds the tree: the root item, then for each rule list a type level and a sub-type level;
// with browsers, a browser level between. Selects the item at select (when it exists).
void showMimeTree(HWND tree, const std::vector<settings::MimeRule>& rules, const TreePosition& select);
void showBrowserTree(HWND tree, const std::vector<settings::BrowserRule>& browsers, const TreePosition& select);

}  // namespace console
