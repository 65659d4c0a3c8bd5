#include "platform/ui/scripted_driver.h"

#include <memory>

#include "platform/ui/input.h"

namespace platform::ui {

namespace {

std::vector<ControlView> reachableControls(const WindowView& w) {
  std::vector<ControlView> all = w.controls;
  if (w.activePage < w.pages.size()) {
    const auto& page = w.pages[w.activePage].controls;
    all.insert(all.end(), page.begin(), page.end());
  }
  return all;
}

// Captions of buttons in templates may carry '&' for the keyboard; users read them without.
std::string plain(std::string_view text) {
  std::string out;
  for (char c : text)
    if (c != '&') out += c;
  return out;
}

// Asked before the input goes in: an input that opens a modal dialog returns only when the
// dialog ends, long after the thread settles.
template <typename Action>
void deliverTo(UiThread& ui, std::uintptr_t handle, const std::string& what, Action action) {
  auto delivered = std::make_shared<bool>(false);
  ui.runAndSettle([delivered, handle, action] {
    *delivered = input::accepts(handle);
    if (*delivered) action();
  });
  if (!*delivered) throw DriverError(what + " did not reach its window (greyed, hidden or behind a dialog)");
}

int entryIndex(const ControlView& c, std::string_view entry) {
  for (std::size_t i = 0; i < c.items.size(); ++i)
    if (c.items[i].text == entry) return static_cast<int>(i);
  throw DriverError("no entry \"" + std::string(entry) + "\" in " + std::to_string(c.id));
}

}  // namespace

std::string ScriptedDriver::describe(const Screen& screen) {
  std::string out = "windows:";
  for (const WindowView& w : screen.windows) {
    out += " [" + w.caption + (w.enabled ? "" : " (greyed)") + ":";
    for (const ControlView& c : reachableControls(w)) out += " " + std::to_string(c.id) + "'" + c.text + "'";
    out += "]";
  }
  return out;
}

std::optional<WindowView> ScriptedDriver::find(std::string_view caption) const {
  Screen screen = takeScreen();
  for (auto it = screen.windows.rbegin(); it != screen.windows.rend(); ++it)
    if (it->caption == caption) return *it;
  return std::nullopt;
}

WindowView ScriptedDriver::window(std::string_view caption) const {
  if (auto w = find(caption)) return *w;
  throw DriverError("no window \"" + std::string(caption) + "\"; " + describe(takeScreen()));
}

ControlView ScriptedDriver::control(std::string_view caption, int id) const {
  for (const ControlView& c : reachableControls(window(caption)))
    if (c.id == id) return c;
  throw DriverError("no control " + std::to_string(id) + " in \"" + std::string(caption) + "\"; " + describe(takeScreen()));
}

ControlView ScriptedDriver::control(std::string_view caption, std::string_view controlCaption) const {
  for (const ControlView& c : reachableControls(window(caption)))
    if (plain(c.text) == controlCaption && c.visible) return c;
  throw DriverError("no control \"" + std::string(controlCaption) + "\" in \"" + std::string(caption) + "\"; " +
                    describe(takeScreen()));
}

void ScriptedDriver::deliver(bool (*action)(std::uintptr_t), std::uintptr_t handle, const std::string& what) {
  deliverTo(ui_, handle, what, [action, handle] { action(handle); });
}

void ScriptedDriver::click(std::string_view caption, int id) {
  deliver(input::click, control(caption, id).handle, "a click on " + std::to_string(id));
}

void ScriptedDriver::click(std::string_view caption, std::string_view controlCaption) {
  // The button of that caption: a group box may carry the same text as its button.
  for (const ControlView& c : reachableControls(window(caption)))
    if (plain(c.text) == controlCaption && c.visible && c.className == WC_BUTTON && (c.style & BS_TYPEMASK) != BS_GROUPBOX)
      return deliver(input::click, c.handle, "a click on \"" + std::string(controlCaption) + "\"");
  throw DriverError("no button \"" + std::string(controlCaption) + "\" in \"" + std::string(caption) + "\"; " +
                    describe(takeScreen()));
}

void ScriptedDriver::type(std::string_view caption, int id, std::string_view text) {
  const std::uintptr_t handle = control(caption, id).handle;
  deliverTo(ui_, handle, "typing into " + std::to_string(id), [handle, typed = std::string(text)] { input::type(handle, typed); });
}

void ScriptedDriver::select(std::string_view caption, int id, std::string_view entry, bool extend) {
  const ControlView c = control(caption, id);
  const int index = entryIndex(c, entry);
  deliverTo(ui_, c.handle, "selecting in " + std::to_string(id),
            [handle = c.handle, index, extend] { input::selectEntry(handle, index, extend); });
}

void ScriptedDriver::doubleClick(std::string_view caption, int id, std::string_view entry) {
  const ControlView c = control(caption, id);
  const int index = entryIndex(c, entry);
  deliverTo(ui_, c.handle, "double-clicking in " + std::to_string(id),
            [handle = c.handle, index] { input::doubleClickEntry(handle, index); });
}

void ScriptedDriver::selectTreeItem(std::string_view caption, int id, std::string_view path) {
  // Walks down the path, selecting each level, so that trees filled on selection open.
  std::uintptr_t parent = 0;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string_view name = path.substr(start, end - start);
    const ControlView tree = control(caption, id);
    // The shown items are in display order: a parent's children follow it, one level deeper.
    std::uintptr_t item = 0;
    int childDepth = 0;
    std::size_t i = 0;
    if (parent) {
      while (i < tree.tree.size() && tree.tree[i].handle != parent) ++i;
      if (i == tree.tree.size()) throw DriverError("tree item above \"" + std::string(name) + "\" is gone");
      childDepth = tree.tree[i].depth + 1;
      ++i;
    }
    for (; i < tree.tree.size() && tree.tree[i].depth >= childDepth; ++i)
      if (tree.tree[i].depth == childDepth && tree.tree[i].text == name) {
        item = tree.tree[i].handle;
        break;
      }
    if (!item) throw DriverError("no tree item \"" + std::string(name) + "\" in " + std::to_string(id) + " of \"" +
                                 std::string(caption) + "\"");
    deliverTo(ui_, tree.handle, "selecting tree item \"" + std::string(name) + "\"",
              [handle = tree.handle, item] { input::selectTreeItem(handle, item); });
    if (end < path.size()) {
      for (const TreeItemView& t : control(caption, id).tree)
        if (t.handle == item && !t.expanded) ui_.runAndSettle([&] { input::toggleTreeItem(tree.handle, item); });
    }
    parent = item;
    start = end + 1;
  }
}

void ScriptedDriver::setSlider(std::string_view caption, int id, int position) {
  const std::uintptr_t handle = control(caption, id).handle;
  deliverTo(ui_, handle, "moving slider " + std::to_string(id),
            [handle, position] { input::setSliderPosition(handle, position); });
}

void ScriptedDriver::selectPage(std::string_view caption, std::string_view pageTitle) {
  const WindowView sheet = window(caption);
  for (std::size_t i = 0; i < sheet.pages.size(); ++i) {
    if (sheet.pages[i].title != pageTitle) continue;
    deliverTo(ui_, sheet.handle, "choosing a page of \"" + std::string(caption) + "\"",
              [handle = sheet.handle, i] { input::selectSheetPage(handle, i); });
    return;
  }
  throw DriverError("no page \"" + std::string(pageTitle) + "\" in \"" + std::string(caption) + "\"");
}

void ScriptedDriver::mouseDown(std::string_view caption) {
  const WindowView w = window(caption);
  const std::uintptr_t target = w.activePage < w.pages.size() ? w.pages[w.activePage].handle : w.handle;
  deliver(input::mouseDown, target, "a click on \"" + std::string(caption) + "\"");
}

void ScriptedDriver::close(std::string_view caption) {
  deliver(input::close, window(caption).handle, "closing \"" + std::string(caption) + "\"");
}

}  // namespace platform::ui
