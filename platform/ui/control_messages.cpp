// What each control class does with its messages: buttons, edits, list boxes, drop-down
// lists, tree views and sliders. Called under the model's lock.

#include <algorithm>
#include <cstring>
#include <strings.h>

#include "platform/ui/window_model.h"

namespace platform::ui::detail {

namespace {

LRESULT copyText(const std::string& text, LPARAM buffer) {
  if (!buffer) return LB_ERR;
  std::memcpy(reinterpret_cast<char*>(buffer), text.c_str(), text.size() + 1);
  return static_cast<LRESULT>(text.size());
}

bool validIndex(const Window& w, WPARAM index) { return index < w.items.size(); }

// Sorted lists order their entries without regard to case, as lstrcmpi does.
std::size_t sortedPosition(const Window& w, const std::string& text) {
  std::size_t i = 0;
  while (i < w.items.size() && strcasecmp(w.items[i].text.c_str(), text.c_str()) <= 0) ++i;
  return i;
}

LRESULT addEntry(Window& w, const char* text, bool sorted) {
  std::string entry = text ? text : "";
  const std::size_t at = sorted ? sortedPosition(w, entry) : w.items.size();
  w.items.insert(w.items.begin() + static_cast<std::ptrdiff_t>(at), ListEntry{entry, 0, false});
  if (w.current >= static_cast<int>(at)) ++w.current;
  return static_cast<LRESULT>(at);
}

void deleteEntry(Window& w, std::size_t index) {
  w.items.erase(w.items.begin() + static_cast<std::ptrdiff_t>(index));
  if (w.current == static_cast<int>(index)) w.current = -1;
  else if (w.current > static_cast<int>(index)) --w.current;
}

bool multiSelect(const Window& w) { return (w.style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0; }

LRESULT listBoxMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case LB_ADDSTRING:
      return addEntry(w, reinterpret_cast<const char*>(lParam), (w.style & LBS_SORT) != 0);
    case LB_INSERTSTRING: {
      const std::size_t at = wParam == static_cast<WPARAM>(-1) ? w.items.size() : std::min<std::size_t>(wParam, w.items.size());
      w.items.insert(w.items.begin() + static_cast<std::ptrdiff_t>(at),
                     ListEntry{lParam ? reinterpret_cast<const char*>(lParam) : "", 0, false});
      return static_cast<LRESULT>(at);
    }
    case LB_DELETESTRING:
      if (!validIndex(w, wParam)) return LB_ERR;
      deleteEntry(w, wParam);
      return static_cast<LRESULT>(w.items.size());
    case LB_RESETCONTENT:
      w.items.clear();
      w.current = -1;
      return 0;
    case LB_GETCOUNT:
      return static_cast<LRESULT>(w.items.size());
    case LB_GETTEXT:
      return validIndex(w, wParam) ? copyText(w.items[wParam].text, lParam) : LB_ERR;
    case LB_GETTEXTLEN:
      return validIndex(w, wParam) ? static_cast<LRESULT>(w.items[wParam].text.size()) : LB_ERR;
    case LB_SETCURSEL:
      if (multiSelect(w)) return LB_ERR;
      for (auto& e : w.items) e.selected = false;
      if (!validIndex(w, wParam)) {
        w.current = -1;
        return LB_ERR;
      }
      w.current = static_cast<int>(wParam);
      w.items[wParam].selected = true;
      return static_cast<LRESULT>(wParam);
    case LB_GETCURSEL:
      return w.current;
    case LB_SETSEL: {  // wParam: select or not; lParam: index, -1 for all
      if (!multiSelect(w)) return LB_ERR;
      if (lParam == -1) {
        for (auto& e : w.items) e.selected = wParam != 0;
        return 0;
      }
      if (!validIndex(w, static_cast<WPARAM>(lParam))) return LB_ERR;
      w.items[static_cast<std::size_t>(lParam)].selected = wParam != 0;
      w.current = static_cast<int>(lParam);
      return 0;
    }
    case LB_GETSEL:
      return validIndex(w, wParam) ? (w.items[wParam].selected ? 1 : 0) : LB_ERR;
    case LB_GETSELCOUNT:
      if (!multiSelect(w)) return LB_ERR;
      return static_cast<LRESULT>(std::count_if(w.items.begin(), w.items.end(), [](const ListEntry& e) { return e.selected; }));
    case LB_GETSELITEMS: {  // wParam: room in the array at lParam
      if (!multiSelect(w)) return LB_ERR;
      int* out = reinterpret_cast<int*>(lParam);
      LRESULT n = 0;
      for (std::size_t i = 0; i < w.items.size() && static_cast<WPARAM>(n) < wParam; ++i)
        if (w.items[i].selected) out[n++] = static_cast<int>(i);
      return n;
    }
    case LB_SETHORIZONTALEXTENT:
      w.horizontalExtent = static_cast<int>(wParam);
      return 0;
    case LB_GETHORIZONTALEXTENT:
      return w.horizontalExtent;
    case LB_FINDSTRINGEXACT: {  // search after wParam, wrapping; without regard to case
      const char* text = reinterpret_cast<const char*>(lParam);
      if (!text || w.items.empty()) return LB_ERR;
      const std::size_t n = w.items.size();
      const std::size_t start = wParam == static_cast<WPARAM>(-1) || wParam >= n ? 0 : wParam + 1;
      for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = (start + k) % n;
        if (strcasecmp(w.items[i].text.c_str(), text) == 0) return static_cast<LRESULT>(i);
      }
      return LB_ERR;
    }
    default:
      return 0;
  }
}

LRESULT comboBoxMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case CB_ADDSTRING:
      return addEntry(w, reinterpret_cast<const char*>(lParam), false);
    case CB_RESETCONTENT:
      w.items.clear();
      w.current = -1;
      return 0;
    case CB_GETCOUNT:
      return static_cast<LRESULT>(w.items.size());
    case CB_SETCURSEL:
      w.current = validIndex(w, wParam) ? static_cast<int>(wParam) : -1;
      return w.current < 0 ? CB_ERR : w.current;
    case CB_GETCURSEL:
      return w.current;
    case CB_GETLBTEXT:
      return validIndex(w, wParam) ? copyText(w.items[wParam].text, lParam) : CB_ERR;
    case CB_GETLBTEXTLEN:
      return validIndex(w, wParam) ? static_cast<LRESULT>(w.items[wParam].text.size()) : CB_ERR;
    case CB_FINDSTRING: {  // the first entry after wParam beginning with the text, any case
      const char* text = reinterpret_cast<const char*>(lParam);
      if (!text || w.items.empty()) return CB_ERR;
      const std::size_t n = w.items.size();
      const std::size_t start = wParam == static_cast<WPARAM>(-1) || wParam >= n ? 0 : wParam + 1;
      const std::size_t length = std::strlen(text);
      for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = (start + k) % n;
        if (strncasecmp(w.items[i].text.c_str(), text, length) == 0) return static_cast<LRESULT>(i);
      }
      return CB_ERR;
    }
    default:
      return 0;
  }
}

void eraseNode(Window& w, std::uintptr_t node) {
  auto it = w.nodes.find(node);
  if (it == w.nodes.end()) return;
  for (std::uintptr_t child : std::vector<std::uintptr_t>(it->second.children)) eraseNode(w, child);
  const std::uintptr_t parent = it->second.parent;
  if (parent) std::erase(w.nodes[parent].children, node);
  else std::erase(w.roots, node);
  if (w.selectedNode == node) w.selectedNode = 0;
  w.nodes.erase(node);
}

LRESULT treeMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowModel& model = WindowModel::instance();
  switch (message) {
    case TVM_INSERTITEMA: {
      const auto* insert = reinterpret_cast<const TVINSERTSTRUCTA*>(lParam);
      std::uintptr_t parent = reinterpret_cast<std::uintptr_t>(insert->hParent);
      if (insert->hParent == TVI_ROOT || parent == 0) parent = 0;
      else if (!w.nodes.count(parent)) return 0;
      const std::uintptr_t node = model.newNodeHandle();
      TreeNode made;
      made.text = (insert->item.mask & TVIF_TEXT) && insert->item.pszText ? insert->item.pszText : "";
      made.data = (insert->item.mask & TVIF_PARAM) ? insert->item.lParam : 0;
      made.parent = parent;
      w.nodes.emplace(node, std::move(made));
      auto& siblings = parent ? w.nodes[parent].children : w.roots;
      if (insert->hInsertAfter == TVI_FIRST) siblings.insert(siblings.begin(), node);
      else siblings.push_back(node);
      return static_cast<LRESULT>(node);
    }
    case TVM_DELETEITEM: {
      const auto node = static_cast<std::uintptr_t>(lParam);
      if (reinterpret_cast<HTREEITEM>(lParam) == TVI_ROOT || node == 0) {
        w.nodes.clear();
        w.roots.clear();
        w.selectedNode = 0;
        return TRUE;
      }
      if (!w.nodes.count(node)) return FALSE;
      eraseNode(w, node);
      return TRUE;
    }
    case TVM_EXPAND: {
      auto it = w.nodes.find(static_cast<std::uintptr_t>(lParam));
      if (it == w.nodes.end()) return FALSE;
      it->second.expanded = wParam == TVE_EXPAND;
      return TRUE;
    }
    case TVM_SELECTITEM: {
      const auto node = static_cast<std::uintptr_t>(lParam);
      if (node && !w.nodes.count(node)) return FALSE;
      w.selectedNode = node;
      // A selected item is shown: its ancestors open.
      for (std::uintptr_t p = node ? w.nodes[node].parent : 0; p; p = w.nodes[p].parent) w.nodes[p].expanded = true;
      return TRUE;
    }
    case TVM_GETNEXTITEM: {
      const auto node = static_cast<std::uintptr_t>(lParam);
      auto at = w.nodes.find(node);
      switch (wParam) {
        case TVGN_CARET:
          return static_cast<LRESULT>(w.selectedNode);
        case TVGN_ROOT:
          return w.roots.empty() ? 0 : static_cast<LRESULT>(w.roots.front());
        case TVGN_PARENT:
          return at == w.nodes.end() ? 0 : static_cast<LRESULT>(at->second.parent);
        case TVGN_CHILD:
          if (node == 0) return w.roots.empty() ? 0 : static_cast<LRESULT>(w.roots.front());
          return at == w.nodes.end() || at->second.children.empty() ? 0 : static_cast<LRESULT>(at->second.children.front());
        case TVGN_NEXT: {
          if (at == w.nodes.end()) return 0;
          const auto& siblings = at->second.parent ? w.nodes[at->second.parent].children : w.roots;
          auto pos = std::find(siblings.begin(), siblings.end(), node);
          return pos == siblings.end() || pos + 1 == siblings.end() ? 0 : static_cast<LRESULT>(*(pos + 1));
        }
        default:
          return 0;
      }
    }
    case TVM_GETITEMA:
    case TVM_SETITEMA: {
      auto* item = reinterpret_cast<TVITEMA*>(lParam);
      auto it = w.nodes.find(reinterpret_cast<std::uintptr_t>(item->hItem));
      if (it == w.nodes.end()) return FALSE;
      if (message == TVM_SETITEMA) {
        if ((item->mask & TVIF_TEXT) && item->pszText) it->second.text = item->pszText;
        if (item->mask & TVIF_PARAM) it->second.data = item->lParam;
        return TRUE;
      }
      if (item->mask & TVIF_PARAM) item->lParam = it->second.data;
      if ((item->mask & TVIF_TEXT) && item->pszText && item->cchTextMax > 0) {
        const std::size_t n = std::min<std::size_t>(it->second.text.size(), static_cast<std::size_t>(item->cchTextMax - 1));
        std::memcpy(item->pszText, it->second.text.data(), n);
        item->pszText[n] = '\0';
      }
      return TRUE;
    }
    default:
      return 0;
  }
}

LRESULT sliderMessage(Window& w, UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case TBM_SETRANGE:
      w.rangeMin = static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lParam)));
      w.rangeMax = static_cast<short>(HIWORD(static_cast<std::uintptr_t>(lParam)));
      w.position = std::clamp(w.position, w.rangeMin, w.rangeMax);
      return 0;
    case TBM_SETPOS:
      w.position = std::clamp(static_cast<int>(lParam), w.rangeMin, w.rangeMax);
      return 0;
    case TBM_GETPOS:
      return w.position;
    case TBM_GETRANGEMIN:
      return w.rangeMin;
    case TBM_GETRANGEMAX:
      return w.rangeMax;
    default:
      return 0;
  }
}

}  // namespace

LRESULT controlMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowModel& model = WindowModel::instance();
  LRESULT result = 0;
  switch (message) {
    case WM_SETTEXT:
      // As on Windows, an edit's limit holds for what the user types only: a text set by the
      // program stays whole (a dialog showing a stored value must not cut it).
      w.text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      result = TRUE;
      break;
    case WM_GETTEXT: {
      if (!lParam || wParam == 0) return 0;
      const std::size_t n = std::min<std::size_t>(w.text.size(), wParam - 1);
      std::memcpy(reinterpret_cast<char*>(lParam), w.text.data(), n);
      reinterpret_cast<char*>(lParam)[n] = '\0';
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w.text.size());
    case BM_SETCHECK:
      w.check = static_cast<int>(wParam);
      result = 0;
      break;
    case BM_GETCHECK:
      return w.check;
    case EM_LIMITTEXT:
      w.textLimit = wParam == 0 ? 30000u : static_cast<unsigned>(wParam);
      return 0;
    default:
      if (w.className == WC_LISTBOX) result = listBoxMessage(w, message, wParam, lParam);
      else if (w.className == WC_COMBOBOX) result = comboBoxMessage(w, message, wParam, lParam);
      else if (w.className == WC_TREEVIEWA) result = treeMessage(w, message, wParam, lParam);
      else if (w.className == TRACKBAR_CLASSA) result = sliderMessage(w, message, wParam, lParam);
      break;
  }
  model.touch();
  return result;
}

}  // namespace platform::ui::detail
