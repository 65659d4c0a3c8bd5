#pragma once
// What a screen shows of the windows: a copy of every top-level window with its controls,
// as the console host draws it in the browser and the test driver reads it.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/win_user.h"

namespace platform::ui {

enum class WindowRole { kControl, kDialog, kSheet, kPage, kMessageBox };

struct ListEntry {
  std::string text;
  LPARAM data = 0;
  bool selected = false;
};

struct TreeItemView {
  std::uintptr_t handle = 0;
  std::string text;
  int depth = 0;  // 0 for a root item
  bool expanded = false;
  bool hasChildren = false;
  bool selected = false;
};

struct ControlView {
  std::uintptr_t handle = 0;
  int id = 0;
  std::string className;
  std::string text;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  bool enabled = true;
  bool visible = true;
  int check = 0;
  std::vector<ListEntry> items;
  int current = -1;
  int horizontalExtent = 0;
  std::vector<TreeItemView> tree;  // visible items, in display order
  int rangeMin = 0, rangeMax = 0, position = 0;
  std::string iconSvg;
};

struct PageView {
  std::uintptr_t handle = 0;
  std::string title;
  std::string iconSvg;
  std::vector<ControlView> controls;
};

struct WindowView {
  std::uintptr_t handle = 0;
  WindowRole role = WindowRole::kDialog;
  std::string caption;
  std::uintptr_t owner = 0;
  bool enabled = true;
  bool active = false;
  short cx = 0, cy = 0;
  std::vector<ControlView> controls;
  std::vector<PageView> pages;  // property sheets: every page, the active one first
  std::size_t activePage = 0;
};

// A file the shell was asked to open (ShellExecuteA), in the order asked: the console host
// offers each to the browser, which opens it in a new tab.
struct ShellOpening {
  std::uint64_t serial = 0;
  std::string windowsPath;
  std::string hostPath;
};

struct Screen {
  std::uint64_t version = 0;
  std::vector<WindowView> windows;  // bottom first
  std::string cursor;               // "arrow" or "wait"
  std::vector<ShellOpening> openings;
};

Screen takeScreen();
// Blocks until the model is newer than version or the time-out passes; the current version.
std::uint64_t waitForChange(std::uint64_t version, int timeoutMs);

}  // namespace platform::ui
