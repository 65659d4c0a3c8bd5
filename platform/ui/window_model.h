#pragma once
// The windows of the process: dialogs and their controls with the state the Win32 calls
// read and write. Internal to the user-interface stand-in. One lock guards the whole model,
// held only for a few steps at a time and never while a dialog procedure runs, so the
// console host can draw the windows while the user-interface thread is busy.

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui/resources.h"
#include "platform/ui/window_view.h"

namespace platform::ui::detail {

struct TreeNode {
  std::string text;
  LPARAM data = 0;
  std::uintptr_t parent = 0;  // 0: a root item
  std::vector<std::uintptr_t> children;
  bool expanded = false;
};

struct Window {
  std::uintptr_t handle = 0;
  WindowRole role = WindowRole::kControl;
  std::string className;
  std::string text;
  int id = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::uintptr_t parent = 0;  // controls and pages: the window they are inside
  std::uintptr_t owner = 0;   // top-level windows: the window they belong to
  bool enabled = true;
  bool visible = true;
  DLGPROC proc = nullptr;
  LONG_PTR user = 0;
  LONG_PTR messageResult = 0;
  std::vector<std::uintptr_t> children;  // in template order
  std::string iconSvg;

  int check = 0;                    // buttons
  unsigned textLimit = 30000;       // edits
  std::vector<ListEntry> items;     // list boxes and drop-down lists
  int current = -1;                 // the caret (single selection) of a list
  int horizontalExtent = 0;
  std::map<std::uintptr_t, TreeNode> nodes;  // tree views
  std::vector<std::uintptr_t> roots;
  std::uintptr_t selectedNode = 0;
  int rangeMin = 0, rangeMax = 100, position = 0;  // sliders

  bool modal = false;  // dialogs
  bool ended = false;
  INT_PTR result = 0;

  std::vector<std::uintptr_t> pages;  // property sheets
  std::size_t activePage = 0;
  bool applyEnabled = false;
};

class WindowModel {
 public:
  static WindowModel& instance();

  std::mutex mutex;
  std::condition_variable changed;

  // All under the lock.
  Window* find(std::uintptr_t handle);
  Window* find(HWND handle) { return find(reinterpret_cast<std::uintptr_t>(handle)); }
  Window& create(WindowRole role, std::uintptr_t parent, std::uintptr_t owner);
  // Removes the window and everything inside it.
  void erase(std::uintptr_t handle);
  Window* childById(Window& dialog, int id);
  std::uintptr_t topLevelOf(std::uintptr_t handle);
  std::uintptr_t newNodeHandle() { return ++nextNode_; }
  void touch();  // the model changed: wake whoever waits for a new picture
  std::uint64_t version() const { return version_; }
  std::vector<std::uintptr_t>& stacking() { return stacking_; }  // top-level windows, bottom first
  std::uintptr_t active = 0;
  std::string cursor = "arrow";
  std::vector<ShellOpening> openings;
  std::uint64_t openingsSeen = 0;

 private:
  std::map<std::uintptr_t, std::unique_ptr<Window>> windows_;
  std::vector<std::uintptr_t> stacking_;
  std::uintptr_t nextHandle_ = 0x10000;
  std::uintptr_t nextNode_ = 0x20000;
  std::uint64_t version_ = 1;
};

inline HWND toHwnd(std::uintptr_t handle) { return reinterpret_cast<HWND>(handle); }
inline std::uintptr_t fromHwnd(HWND handle) { return reinterpret_cast<std::uintptr_t>(handle); }

// Creates a dialog (or a property page inside parent) from a template with its controls.
std::uintptr_t createDialogWindow(const DialogTemplate& dialogTemplate, WindowRole role, std::uintptr_t parent,
                                  std::uintptr_t owner, DLGPROC proc, HINSTANCE instance);
// Calls the window's dialog procedure, outside the lock.
INT_PTR callDialogProc(std::uintptr_t dialog, UINT message, WPARAM wParam, LPARAM lParam);
// The control messages, under the lock.
LRESULT controlMessage(Window& control, UINT message, WPARAM wParam, LPARAM lParam);
// Checks an automatic radio button and clears the others of its group.
void checkRadioInGroup(Window& radio);
// Destroys every top-level window, the top-most first (the user-interface thread's end).
void destroyAllWindows();
// Runs a modal loop for the dialog and returns its EndDialog result, destroying it after.
INT_PTR runModal(std::uintptr_t dialog, std::uintptr_t owner);

}  // namespace platform::ui::detail
