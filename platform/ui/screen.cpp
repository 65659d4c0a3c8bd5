// The picture of the windows for whoever draws them, the cursor, and the shell's opening
// of files.

#include <chrono>

#include "platform/fs/windows_path.h"
#include "platform/ui/common_dialogs.h"
#include "platform/ui/window_model.h"

namespace platform::ui {

using detail::Window;
using detail::WindowModel;

namespace {

void addTreeItems(const Window& tree, const std::vector<std::uintptr_t>& level, int depth, std::vector<TreeItemView>& out) {
  for (std::uintptr_t node : level) {
    const detail::TreeNode& n = tree.nodes.at(node);
    out.push_back({node, n.text, depth, n.expanded, !n.children.empty(), tree.selectedNode == node});
    if (n.expanded) addTreeItems(tree, n.children, depth + 1, out);
  }
}

std::vector<ControlView> controlsOf(WindowModel& model, const Window& dialog) {
  std::vector<ControlView> out;
  for (std::uintptr_t child : dialog.children) {
    const Window* c = model.find(child);
    if (!c || c->role != WindowRole::kControl) continue;
    ControlView v;
    v.handle = c->handle;
    v.id = c->id;
    v.className = c->className;
    v.text = c->text;
    v.style = c->style;
    v.x = c->x;
    v.y = c->y;
    v.cx = c->cx;
    v.cy = c->cy;
    v.enabled = c->enabled;
    v.visible = c->visible;
    v.check = c->check;
    v.items = c->items;
    v.current = c->current;
    v.horizontalExtent = c->horizontalExtent;
    if (c->className == WC_TREEVIEWA) addTreeItems(*c, c->roots, 0, v.tree);
    v.rangeMin = c->rangeMin;
    v.rangeMax = c->rangeMax;
    v.position = c->position;
    v.iconSvg = c->iconSvg;
    out.push_back(std::move(v));
  }
  return out;
}

}  // namespace

Screen takeScreen() {
  WindowModel& model = WindowModel::instance();
  std::lock_guard lock(model.mutex);
  Screen screen;
  screen.version = model.version();
  screen.cursor = model.cursor;
  screen.openings = model.openings;
  for (std::uintptr_t handle : model.stacking()) {
    const Window* w = model.find(handle);
    if (!w || !w->visible) continue;
    WindowView v;
    v.handle = w->handle;
    v.role = w->role;
    v.caption = w->text;
    v.owner = model.topLevelOf(w->owner);
    v.enabled = w->enabled;
    v.active = model.active == handle;
    v.cx = w->cx;
    v.cy = w->cy;
    v.controls = controlsOf(model, *w);
    v.activePage = w->activePage;
    for (std::uintptr_t page : w->pages) {
      const Window* p = model.find(page);
      PageView pv;
      if (p) {
        pv.handle = p->handle;
        pv.title = p->text;
        pv.iconSvg = p->iconSvg;
        pv.controls = controlsOf(model, *p);
      }
      v.pages.push_back(std::move(pv));
    }
    screen.windows.push_back(std::move(v));
  }
  return screen;
}

std::uint64_t waitForChange(std::uint64_t version, int timeoutMs) {
  WindowModel& model = WindowModel::instance();
  std::unique_lock lock(model.mutex);
  model.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return model.version() != version; });
  return model.version();
}

}  // namespace platform::ui

using platform::ui::detail::WindowModel;

namespace {
// Cursor handles are the resource numbers of the system cursors.
HCURSOR cursorHandle(const std::string& name) {
  return reinterpret_cast<HCURSOR>(static_cast<std::uintptr_t>(name == "wait" ? 32514 : 32512));
}
}  // namespace

HCURSOR LoadCursorA(HINSTANCE, LPCSTR name) noexcept {
  return reinterpret_cast<HCURSOR>(const_cast<char*>(name));
}

HCURSOR SetCursor(HCURSOR cursor) noexcept {
  WindowModel& model = WindowModel::instance();
  std::lock_guard lock(model.mutex);
  HCURSOR previous = cursorHandle(model.cursor);
  model.cursor = reinterpret_cast<std::uintptr_t>(cursor) == 32514 ? "wait" : "arrow";
  model.touch();
  return previous;
}

HINSTANCE ShellExecuteA(HWND, LPCSTR, LPCSTR file, LPCSTR, LPCSTR, int) noexcept {
  using platform::ui::ShellOpening;
  auto failed = [](std::uintptr_t code) { return reinterpret_cast<HINSTANCE>(code); };
  if (!file) return failed(ERROR_FILE_NOT_FOUND);
  const auto host = platform::fs::hostPath(file);
  std::error_code ec;
  if (!host || !std::filesystem::is_regular_file(*host, ec)) return failed(ERROR_FILE_NOT_FOUND);
  WindowModel& model = WindowModel::instance();
  std::lock_guard lock(model.mutex);
  ShellOpening opening;
  opening.serial = ++model.openingsSeen;
  opening.windowsPath = file;
  opening.hostPath = host->string();
  model.openings.push_back(opening);
  model.touch();
  return failed(42);  // above 32: success
}
