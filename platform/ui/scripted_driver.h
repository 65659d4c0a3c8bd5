#pragma once
// Drives the windows from another thread as a user would: finds a window by its caption and
// a control by id or caption, clicks, types and selects, each time waiting until the
// user-interface thread has handled the input and waits for more. Tests run every dialog
// with it, without a browser. Failures to find something throw DriverError with what was
// looked for and what the screen showed.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/ui/ui_thread.h"
#include "platform/ui/window_view.h"

namespace platform::ui {

struct DriverError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class ScriptedDriver {
 public:
  explicit ScriptedDriver(UiThread& ui) : ui_(ui) {}

  // The top-most window with this caption (exactly), if one shows.
  std::optional<WindowView> find(std::string_view caption) const;
  WindowView window(std::string_view caption) const;
  bool isOpen(std::string_view caption) const { return find(caption).has_value(); }
  // The window's controls, a sheet's with those of its shown page.
  ControlView control(std::string_view caption, int id) const;
  ControlView control(std::string_view caption, std::string_view controlCaption) const;

  void click(std::string_view caption, int id);
  void click(std::string_view caption, std::string_view controlCaption);
  void type(std::string_view caption, int id, std::string_view text);
  // A list box or drop-down entry by its text; extend adds to a multiple selection.
  void select(std::string_view caption, int id, std::string_view entry, bool extend = false);
  void doubleClick(std::string_view caption, int id, std::string_view entry);
  // A tree item by the texts from the root down, separated by '/'.
  void selectTreeItem(std::string_view caption, int id, std::string_view path);
  void setSlider(std::string_view caption, int id, int position);
  void selectPage(std::string_view caption, std::string_view pageTitle);
  void mouseDown(std::string_view caption);
  void close(std::string_view caption);

  // Runs work on the user-interface thread and waits until it settles.
  void run(std::function<void()> work) { ui_.runAndSettle(std::move(work)); }

  static std::string describe(const Screen& screen);

 private:
  void deliver(bool (*)(std::uintptr_t), std::uintptr_t handle, const std::string& what);
  UiThread& ui_;
};

}  // namespace platform::ui
