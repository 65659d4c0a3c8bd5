#include "platform/ui/window_model.h"

#include <algorithm>

namespace platform::ui::detail {

WindowModel& WindowModel::instance() {
  static WindowModel model;
  return model;
}

Window* WindowModel::find(std::uintptr_t handle) {
  auto it = windows_.find(handle);
  return it == windows_.end() ? nullptr : it->second.get();
}

Window& WindowModel::create(WindowRole role, std::uintptr_t parent, std::uintptr_t owner) {
  auto window = std::make_unique<Window>();
  window->handle = ++nextHandle_;
  window->role = role;
  window->parent = parent;
  window->owner = owner;
  Window& made = *window;
  windows_.emplace(made.handle, std::move(window));
  if (Window* p = find(parent)) p->children.push_back(made.handle);
  if (role != WindowRole::kControl && role != WindowRole::kPage) {
    stacking_.push_back(made.handle);
    active = made.handle;
  }
  touch();
  return made;
}

void WindowModel::erase(std::uintptr_t handle) {
  Window* window = find(handle);
  if (!window) return;
  for (std::uintptr_t child : std::vector<std::uintptr_t>(window->children)) erase(child);
  for (std::uintptr_t page : std::vector<std::uintptr_t>(window->pages)) erase(page);
  if (Window* p = find(window->parent)) std::erase(p->children, handle);
  std::erase(stacking_, handle);
  if (active == handle) active = stacking_.empty() ? 0 : stacking_.back();
  windows_.erase(handle);
  touch();
}

Window* WindowModel::childById(Window& dialog, int id) {
  for (std::uintptr_t child : dialog.children) {
    Window* c = find(child);
    if (c && c->role == WindowRole::kControl && c->id == id) return c;
  }
  return nullptr;
}

std::uintptr_t WindowModel::topLevelOf(std::uintptr_t handle) {
  Window* w = find(handle);
  while (w && (w->role == WindowRole::kControl || w->role == WindowRole::kPage)) w = find(w->parent);
  return w ? w->handle : 0;
}

void WindowModel::touch() {
  ++version_;
  changed.notify_all();
}

std::uintptr_t createDialogWindow(const DialogTemplate& dialogTemplate, WindowRole role, std::uintptr_t parent,
                                  std::uintptr_t owner, DLGPROC proc, HINSTANCE instance) {
  WindowModel& model = WindowModel::instance();
  std::lock_guard lock(model.mutex);
  Window& dialog = model.create(role, role == WindowRole::kPage ? parent : 0, owner);
  dialog.className = "#32770";
  dialog.text = dialogTemplate.caption;
  dialog.id = dialogTemplate.id;
  dialog.cx = dialogTemplate.cx;
  dialog.cy = dialogTemplate.cy;
  dialog.proc = proc;
  const std::uintptr_t handle = dialog.handle;
  for (const ControlTemplate& t : dialogTemplate.controls) {
    Window& control = model.create(WindowRole::kControl, handle, 0);
    control.className = t.className;
    control.text = t.caption;
    control.id = t.id;
    control.style = t.style;
    control.x = t.x;
    control.y = t.y;
    control.cx = t.cx;
    control.cy = t.cy;
    control.enabled = (t.style & WS_DISABLED) == 0;
    control.visible = (t.style & WS_VISIBLE) != 0;
    if ((t.style & 0xF) == SS_ICON && t.className == WC_STATIC) {
      const char* svg = findIcon(instance, MAKEINTRESOURCEA(static_cast<WORD>(std::stoi(t.caption.empty() ? "0" : t.caption))));
      if (svg) control.iconSvg = svg;
      control.text.clear();
    }
  }
  return handle;
}

void destroyAllWindows() {
  for (;;) {
    std::uintptr_t top = 0;
    {
      WindowModel& model = WindowModel::instance();
      std::lock_guard lock(model.mutex);
      if (model.stacking().empty()) return;
      top = model.stacking().back();
    }
    DestroyWindow(toHwnd(top));
  }
}

INT_PTR callDialogProc(std::uintptr_t dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DLGPROC proc = nullptr;
  {
    WindowModel& model = WindowModel::instance();
    std::lock_guard lock(model.mutex);
    if (Window* w = model.find(dialog)) proc = w->proc;
  }
  return proc ? proc(toHwnd(dialog), message, wParam, lParam) : 0;
}

}  // namespace platform::ui::detail
