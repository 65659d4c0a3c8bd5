// The Win32 window calls over the window model: texts, enabling, showing, buttons, and
// SendMessageA, which hands control messages to the control and anything else to the
// window's dialog procedure.

#include <algorithm>
#include <cstring>

#include "platform/ui/window_model.h"

using platform::ui::WindowRole;
using platform::ui::detail::callDialogProc;
using platform::ui::detail::fromHwnd;
using platform::ui::detail::toHwnd;
using platform::ui::detail::Window;
using platform::ui::detail::WindowModel;

namespace {

WindowModel& model() { return WindowModel::instance(); }

// Copies text into a caller's buffer the way GetWindowTextA does: cut to fit, always ended.
int copyOut(const std::string& text, LPSTR buffer, int bufferChars) {
  if (!buffer || bufferChars <= 0) return 0;
  const int n = std::min<int>(static_cast<int>(text.size()), bufferChars - 1);
  std::memcpy(buffer, text.data(), static_cast<std::size_t>(n));
  buffer[n] = '\0';
  return n;
}

bool isRadio(const Window& w) { return w.className == WC_BUTTON && (w.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON; }

}  // namespace

HWND GetDlgItem(HWND dialog, int id) noexcept {
  std::lock_guard lock(model().mutex);
  Window* d = model().find(dialog);
  Window* c = d ? model().childById(*d, id) : nullptr;
  return c ? toHwnd(c->handle) : nullptr;
}

HWND GetParent(HWND window) noexcept {
  std::lock_guard lock(model().mutex);
  Window* w = model().find(window);
  if (!w) return nullptr;
  return toHwnd(w->parent ? w->parent : w->owner);
}

BOOL IsWindow(HWND window) noexcept {
  std::lock_guard lock(model().mutex);
  return model().find(window) != nullptr;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) noexcept {
  std::lock_guard lock(model().mutex);
  Window* w = model().find(window);
  if (!w) return FALSE;
  w->text = text ? text : "";
  model().touch();
  return TRUE;
}

int GetWindowTextA(HWND window, LPSTR buffer, int bufferChars) noexcept {
  std::lock_guard lock(model().mutex);
  Window* w = model().find(window);
  if (!w) {
    if (buffer && bufferChars > 0) buffer[0] = '\0';
    return 0;
  }
  return copyOut(w->text, buffer, bufferChars);
}

int GetWindowTextLengthA(HWND window) noexcept {
  std::lock_guard lock(model().mutex);
  Window* w = model().find(window);
  return w ? static_cast<int>(w->text.size()) : 0;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) noexcept {
  HWND item = GetDlgItem(dialog, id);
  return item ? SetWindowTextA(item, text) : FALSE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int bufferChars) noexcept {
  HWND item = GetDlgItem(dialog, id);
  if (!item) {
    if (buffer && bufferChars > 0) buffer[0] = '\0';
    return 0;
  }
  return static_cast<UINT>(GetWindowTextA(item, buffer, bufferChars));
}

BOOL EnableWindow(HWND window, BOOL enable) noexcept {
  std::lock_guard lock(model().mutex);
  Window* w = model().find(window);
  if (!w) return FALSE;
  const BOOL wasDisabled = !w->enabled;
  w->enabled = enable != FALSE;
  model().touch();
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND window) noexcept {
  std::lock_guard lock(model().mutex);
  Window* w = model().find(window);
  return w && w->enabled;
}

BOOL ShowWindow(HWND window, int command) noexcept {
  std::lock_guard lock(model().mutex);
  Window* w = model().find(window);
  if (!w) return FALSE;
  const BOOL was = w->visible;
  w->visible = command != SW_HIDE;
  model().touch();
  return was;
}

HWND SetActiveWindow(HWND window) noexcept {
  std::lock_guard lock(model().mutex);
  const std::uintptr_t previous = model().active;
  const std::uintptr_t top = model().topLevelOf(fromHwnd(window));
  if (!top) return nullptr;
  auto& stack = model().stacking();
  std::erase(stack, top);
  stack.push_back(top);
  model().active = top;
  model().touch();
  return toHwnd(previous);
}

BOOL DestroyWindow(HWND window) noexcept {
  {
    std::lock_guard lock(model().mutex);
    if (!model().find(window)) return FALSE;
  }
  callDialogProc(fromHwnd(window), WM_DESTROY, 0, 0);
  std::lock_guard lock(model().mutex);
  model().erase(fromHwnd(window));
  return TRUE;
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) noexcept {
  std::lock_guard lock(model().mutex);
  Window* w = model().find(window);
  if (!w) return 0;
  LONG_PTR& slot = index == DWLP_USER ? w->user : w->messageResult;
  const LONG_PTR previous = slot;
  slot = value;
  return previous;
}

LONG_PTR GetWindowLongPtrA(HWND window, int index) noexcept {
  std::lock_guard lock(model().mutex);
  Window* w = model().find(window);
  if (!w) return 0;
  return index == DWLP_USER ? w->user : w->messageResult;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  {
    std::lock_guard lock(model().mutex);
    Window* w = model().find(window);
    if (!w) return 0;
    if (w->role == WindowRole::kControl) {
      return platform::ui::detail::controlMessage(*w, message, wParam, lParam);
    }
    if (message == WM_SETTEXT) {
      w->text = lParam ? reinterpret_cast<LPCSTR>(lParam) : "";
      model().touch();
      return TRUE;
    }
    if (message == WM_GETTEXT) return copyOut(w->text, reinterpret_cast<LPSTR>(lParam), static_cast<int>(wParam));
  }
  return callDialogProc(fromHwnd(window), message, wParam, lParam);
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  HWND item = GetDlgItem(dialog, id);
  return item ? SendMessageA(item, message, wParam, lParam) : 0;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) noexcept {
  HWND item = GetDlgItem(dialog, id);
  if (!item) return FALSE;
  SendMessageA(item, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) noexcept {
  HWND item = GetDlgItem(dialog, id);
  return item ? static_cast<UINT>(SendMessageA(item, BM_GETCHECK, 0, 0)) : 0;
}

BOOL CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId) noexcept {
  std::lock_guard lock(model().mutex);
  Window* d = model().find(dialog);
  if (!d) return FALSE;
  for (std::uintptr_t child : d->children) {
    Window* c = model().find(child);
    if (c && c->id >= firstId && c->id <= lastId && c->className == WC_BUTTON) c->check = c->id == checkId ? 1 : 0;
  }
  model().touch();
  return TRUE;
}

namespace platform::ui::detail {

// An automatic radio button's group: the run of radio buttons around it in template order,
// a radio with WS_GROUP starting a new run.
void checkRadioInGroup(Window& radio) {
  Window* dialog = WindowModel::instance().find(radio.parent);
  if (!dialog) return;
  auto& kids = dialog->children;
  auto at = std::find(kids.begin(), kids.end(), radio.handle);
  auto first = at;
  while (first != kids.begin()) {
    Window* here = WindowModel::instance().find(*first);
    if (here && (here->style & WS_GROUP)) break;
    Window* before = WindowModel::instance().find(*(first - 1));
    if (!before || !isRadio(*before)) break;
    --first;
  }
  for (auto it = first; it != kids.end(); ++it) {
    Window* w = WindowModel::instance().find(*it);
    if (!w || !isRadio(*w) || (it != first && (w->style & WS_GROUP))) break;
    w->check = w->handle == radio.handle ? 1 : 0;
  }
}

}  // namespace platform::ui::detail
