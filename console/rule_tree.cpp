#include "console/rule_tree.h"

#include "settings/default_tables.h"

namespace console {

namespace {

// Level, browser, type and sub-type index in 16 bits each (indexes stored plus one).
LPARAM encode(const TreePosition& p) {
  auto part = [](int v) { return static_cast<std::uint64_t>(v + 1) & 0xFFFF; };
  return static_cast<LPARAM>(part(p.level - 1) | part(p.browser) << 16 | part(p.type) << 32 | part(p.sub) << 48);
}

TreePosition decode(LPARAM value) {
  const auto v = static_cast<std::uint64_t>(value);
  auto part = [&](int shift) { return static_cast<int>((v >> shift) & 0xFFFF) - 1; };
  return {part(0) + 1, part(16), part(32), part(48)};
}

bool samePosition(const TreePosition& a, const TreePosition& b) {
  return a.level == b.level && a.browser == b.browser && a.type == b.type && a.sub == b.sub;
}

struct Builder {
  HWND tree;
  TreePosition wanted;
  HTREEITEM found = nullptr;

  HTREEITEM add(HTREEITEM parent, const std::string& text, const TreePosition& position) {
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    insert.item.pszText = const_cast<char*>(text.c_str());
    insert.item.lParam = encode(position);
    HTREEITEM item = TreeView_InsertItem(tree, &insert);
    if (samePosition(position, wanted)) found = item;
    if (parent != TVI_ROOT && (parents.empty() || parents.back() != parent)) parents.push_back(parent);
    return item;
  }

  void addMime(HTREEITEM parent, const std::vector<settings::MimeRule>& rules, TreePosition base) {
    for (std::size_t t = 0; t < rules.size(); ++t) {
      TreePosition typePosition = base;
      typePosition.level = base.level + 1;
      typePosition.type = static_cast<int>(t);
      HTREEITEM typeItem = add(parent, rules[t].Name.str(), typePosition);
      for (std::size_t s = 0; s < rules[t].SubTypes.size(); ++s) {
        TreePosition subPosition = typePosition;
        subPosition.level = typePosition.level + 1;
        subPosition.sub = static_cast<int>(s);
        add(typeItem, rules[t].SubTypes[s].Name.str(), subPosition);
      }
    }
  }

  // The lists are short: every level shows open.
  void finish() {
    for (HTREEITEM item : parents) TreeView_Expand(tree, item, TVE_EXPAND);
    if (found) TreeView_SelectItem(tree, found);
  }
  std::vector<HTREEITEM> parents;
};

}  // namespace

TreePosition selectedPosition(HWND tree) {
  HTREEITEM item = TreeView_GetSelection(tree);
  if (!item) return {};
  TVITEMA data{};
  data.mask = TVIF_PARAM | TVIF_HANDLE;
  data.hItem = item;
  if (!TreeView_GetItem(tree, &data)) return {};
  return decode(data.lParam);
}

settings::MimeRule* ruleAt(std::vector<settings::MimeRule>& list, const TreePosition& at) {
  if (at.type < 0 || at.type >= static_cast<int>(list.size())) return nullptr;
  settings::MimeRule& type = list[static_cast<std::size_t>(at.type)];
  if (at.sub < 0) return &type;
  if (at.sub >= static_cast<int>(type.SubTypes.size())) return nullptr;
  return &type.SubTypes[static_cast<std::size_t>(at.sub)];
}

std::pair<int, int> appendSubType(std::vector<settings::MimeRule>& list, const std::string& type,
                                  const std::string& name, int compress, int level) {
  settings::appendMimeSubType(list, type, name, compress, level);
  for (std::size_t t = 0; t < list.size(); ++t)
    if (list[t].Name.str() == type) return {static_cast<int>(t), static_cast<int>(list[t].SubTypes.size()) - 1};
  return {-1, -1};
}

void showMimeTree(HWND tree, const std::vector<settings::MimeRule>& rules, const TreePosition& select) {
  TreeView_DeleteAllItems(tree);
  Builder builder{tree, select, nullptr, {}};
  HTREEITEM root = builder.add(TVI_ROOT, "MIME Types", {1, -1, -1, -1});
  builder.addMime(root, rules, {1, -1, -1, -1});
  builder.finish();
}

void showBrowserTree(HWND tree, const std::vector<settings::BrowserRule>& browsers, const TreePosition& select) {
  TreeView_DeleteAllItems(tree);
  Builder builder{tree, select, nullptr, {}};
  HTREEITEM root = builder.add(TVI_ROOT, "Browsers", {1, -1, -1, -1});
  for (std::size_t b = 0; b < browsers.size(); ++b) {
    const TreePosition browserPosition{2, static_cast<int>(b), -1, -1};
    HTREEITEM item = builder.add(root, browsers[b].DisplayName.str(), browserPosition);
    builder.addMime(item, browsers[b].MimeRules, browserPosition);
  }
  builder.finish();
}

}  // namespace console
