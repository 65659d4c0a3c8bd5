#include "platform/ui/input.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "platform/text/wide_text.h"
#include "platform/ui/property_sheet.h"
#include "platform/ui/window_model.h"

namespace platform::ui::input {

using detail::callDialogProc;
using detail::toHwnd;
using detail::Window;
using detail::WindowModel;

namespace {

// The control if it takes input now, with its dialog; the model's lock is held by the caller.
Window* reachable(std::uintptr_t handle, std::uintptr_t& dialog) {
  WindowModel& model = WindowModel::instance();
  Window* w = model.find(handle);
  if (!w || !w->enabled || !w->visible) return nullptr;
  for (Window* p = model.find(w->parent); p; p = model.find(p->parent))
    if (!p->enabled) return nullptr;
  Window* top = model.find(model.topLevelOf(handle));
  if (!top || !top->enabled) return nullptr;
  dialog = w->parent;
  return w;
}

void command(std::uintptr_t dialog, int id, WORD code, std::uintptr_t control) {
  callDialogProc(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), code), static_cast<LPARAM>(control));
}

void treeNotify(std::uintptr_t dialog, const Window& tree, UINT code, std::uintptr_t oldItem, std::uintptr_t newItem) {
  NMTREEVIEWA notice{};
  notice.hdr = {toHwnd(tree.handle), static_cast<UINT_PTR>(tree.id), code};
  notice.itemOld.hItem = reinterpret_cast<HTREEITEM>(oldItem);
  notice.itemNew.hItem = reinterpret_cast<HTREEITEM>(newItem);
  notice.itemNew.mask = TVIF_HANDLE | TVIF_PARAM;
  auto it = tree.nodes.find(newItem);
  if (it != tree.nodes.end()) notice.itemNew.lParam = it->second.data;
  callDialogProc(dialog, WM_NOTIFY, static_cast<WPARAM>(tree.id), reinterpret_cast<LPARAM>(&notice));
}

}  // namespace

bool accepts(std::uintptr_t handle) {
  std::lock_guard lock(WindowModel::instance().mutex);
  std::uintptr_t dialog = 0;
  return reachable(handle, dialog) != nullptr;
}

bool click(std::uintptr_t control) {
  WindowModel& model = WindowModel::instance();
  std::uintptr_t dialog = 0;
  int id = 0;
  {
    std::lock_guard lock(model.mutex);
    Window* w = reachable(control, dialog);
    if (!w || w->className != WC_BUTTON) return false;
    const DWORD type = w->style & BS_TYPEMASK;
    if (type == BS_GROUPBOX) return false;
    if (type == BS_AUTOCHECKBOX) w->check = w->check ? 0 : 1;
    if (type == BS_AUTORADIOBUTTON) detail::checkRadioInGroup(*w);
    id = w->id;
    model.touch();
  }
  command(dialog, id, BN_CLICKED, control);
  return true;
}

bool type(std::uintptr_t control, std::string_view text) {
  WindowModel& model = WindowModel::instance();
  std::uintptr_t dialog = 0;
  int id = 0;
  {
    std::lock_guard lock(model.mutex);
    Window* w = reachable(control, dialog);
    if (!w || w->className != WC_EDIT) return false;
    std::string typed(text);
    if (w->style & ES_NUMBER)
      typed.erase(std::remove_if(typed.begin(), typed.end(), [](unsigned char c) { return !std::isdigit(c); }), typed.end());
    // A one-line control takes pasted text up to its first line break, as a real one does:
    // a name with a line break in it could not be written to a registry file and read back.
    if (!(w->style & ES_MULTILINE)) typed.resize(std::min(typed.size(), typed.find_first_of("\r\n")));
    // The limit counts bytes; like a real edit control, it never keeps half a character.
    if (typed.size() > w->textLimit) typed = std::string(platform::text::cutAtCharacter(typed, w->textLimit));
    w->text = typed;
    id = w->id;
    model.touch();
  }
  command(dialog, id, EN_CHANGE, control);
  return true;
}

bool selectEntry(std::uintptr_t control, int index, bool extend) {
  WindowModel& model = WindowModel::instance();
  std::uintptr_t dialog = 0;
  int id = 0;
  {
    std::lock_guard lock(model.mutex);
    Window* w = reachable(control, dialog);
    if (!w || (w->className != WC_LISTBOX && w->className != WC_COMBOBOX)) return false;
    if (index < 0 || index >= static_cast<int>(w->items.size())) return false;
    const bool multiple = (w->style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0;
    if (multiple && extend) {
      w->items[static_cast<std::size_t>(index)].selected = !w->items[static_cast<std::size_t>(index)].selected;
    } else {
      for (auto& e : w->items) e.selected = false;
      w->items[static_cast<std::size_t>(index)].selected = true;
    }
    w->current = index;
    id = w->id;
    model.touch();
  }
  command(dialog, id, LBN_SELCHANGE, control);
  return true;
}

bool doubleClickEntry(std::uintptr_t control, int index) {
  if (!selectEntry(control, index, false)) return false;
  std::uintptr_t dialog = 0;
  int id = 0;
  {
    std::lock_guard lock(WindowModel::instance().mutex);
    Window* w = reachable(control, dialog);
    if (!w) return false;
    id = w->id;
  }
  command(dialog, id, LBN_DBLCLK, control);
  return true;
}

bool selectTreeItem(std::uintptr_t control, std::uintptr_t item) {
  WindowModel& model = WindowModel::instance();
  std::uintptr_t dialog = 0;
  std::uintptr_t previous = 0;
  Window copy;
  {
    std::lock_guard lock(model.mutex);
    Window* w = reachable(control, dialog);
    if (!w || w->className != WC_TREEVIEWA || !w->nodes.count(item)) return false;
    previous = w->selectedNode;
    w->selectedNode = item;
    model.touch();
    copy.handle = w->handle;
    copy.id = w->id;
    copy.nodes = w->nodes;
  }
  treeNotify(dialog, copy, TVN_SELCHANGEDA, previous, item);
  return true;
}

bool toggleTreeItem(std::uintptr_t control, std::uintptr_t item) {
  WindowModel& model = WindowModel::instance();
  std::lock_guard lock(model.mutex);
  std::uintptr_t dialog = 0;
  Window* w = reachable(control, dialog);
  if (!w || w->className != WC_TREEVIEWA) return false;
  auto it = w->nodes.find(item);
  if (it == w->nodes.end()) return false;
  it->second.expanded = !it->second.expanded;
  model.touch();
  return true;
}

bool doubleClickTreeItem(std::uintptr_t control, std::uintptr_t item) {
  if (!selectTreeItem(control, item)) return false;
  std::uintptr_t dialog = 0;
  Window copy;
  {
    std::lock_guard lock(WindowModel::instance().mutex);
    Window* w = reachable(control, dialog);
    if (!w) return false;
    copy.handle = w->handle;
    copy.id = w->id;
    copy.nodes = w->nodes;
  }
  treeNotify(dialog, copy, NM_DBLCLK, item, item);
  return true;
}

bool setSliderPosition(std::uintptr_t control, int position) {
  WindowModel& model = WindowModel::instance();
  std::lock_guard lock(model.mutex);
  std::uintptr_t dialog = 0;
  Window* w = reachable(control, dialog);
  if (!w || w->className != TRACKBAR_CLASSA) return false;
  w->position = std::clamp(position, w->rangeMin, w->rangeMax);
  model.touch();
  return true;
}

bool mouseDown(std::uintptr_t window) {
  WindowModel& model = WindowModel::instance();
  bool page = false;
  {
    std::lock_guard lock(model.mutex);
    Window* w = model.find(window);
    if (!w) return false;
    page = w->role == WindowRole::kPage;
  }
  if (page) callDialogProc(window, WM_LBUTTONDOWN, 0, 0);
  else SetActiveWindow(toHwnd(window));
  return true;
}

bool selectSheetPage(std::uintptr_t sheet, std::size_t index) {
  {
    std::lock_guard lock(WindowModel::instance().mutex);
    Window* w = WindowModel::instance().find(sheet);
    if (!w || w->role != WindowRole::kSheet || !w->enabled) return false;
  }
  return showSheetPage(toHwnd(sheet), index);
}

bool close(std::uintptr_t window) {
  {
    std::lock_guard lock(WindowModel::instance().mutex);
    Window* w = WindowModel::instance().find(window);
    if (!w || w->role == WindowRole::kControl || w->role == WindowRole::kPage || !w->enabled) return false;
  }
  command(window, IDCANCEL, BN_CLICKED, 0);
  return true;
}

}  // namespace platform::ui::input
