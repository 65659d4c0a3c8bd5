#include "platform/ui/property_sheet.h"

#include <algorithm>
#include <map>
#include <memory>

#include "platform/ui/window_model.h"

struct _PSP {
  PROPSHEETPAGEA page;
  std::string title;
  std::string iconSvg;
  const platform::ui::DialogTemplate* dialogTemplate = nullptr;
};

namespace platform::ui {

using detail::callDialogProc;
using detail::fromHwnd;
using detail::toHwnd;
using detail::Window;
using detail::WindowModel;

namespace {

struct SheetState {
  std::vector<std::unique_ptr<_PSP>> records;
  std::vector<std::uintptr_t> pageWindows;  // 0 until the page is first shown
  std::function<void()> onClosed;
};

std::map<std::uintptr_t, SheetState>& sheets() {
  static std::map<std::uintptr_t, SheetState> s;
  return s;
}

void notifyPages(std::uintptr_t sheet, UINT code) {
  auto it = sheets().find(sheet);
  if (it == sheets().end()) return;
  for (std::uintptr_t page : std::vector<std::uintptr_t>(it->second.pageWindows)) {
    if (!page) continue;
    PSHNOTIFY notice{{toHwnd(sheet), 0, code}, 0};
    callDialogProc(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notice));
  }
}

void setApplyEnabled(std::uintptr_t sheet, bool enabled) {
  WindowModel& model = WindowModel::instance();
  std::lock_guard lock(model.mutex);
  if (Window* s = model.find(sheet)) {
    if (Window* apply = model.childById(*s, kApplyButtonId)) apply->enabled = enabled;
    model.touch();
  }
}

// The sheet's end, however it comes (OK, Cancel, or the window system closing): the
// pages go first, so that they let go of what they hold.
void sheetDestroyed(std::uintptr_t sheet) {
  auto it = sheets().find(sheet);
  if (it == sheets().end()) return;
  for (std::uintptr_t page : it->second.pageWindows)
    if (page) DestroyWindow(toHwnd(page));
  std::function<void()> onClosed = std::move(it->second.onClosed);
  sheets().erase(it);
  if (onClosed) onClosed();
}

void closeSheet(std::uintptr_t sheet) { DestroyWindow(toHwnd(sheet)); }

INT_PTR sheetProc(HWND sheet, UINT message, WPARAM wParam, LPARAM) {
  const std::uintptr_t handle = fromHwnd(sheet);
  if (message == PSM_CHANGED) {
    setApplyEnabled(handle, true);
    return TRUE;
  }
  if (message == WM_DESTROY) {
    sheetDestroyed(handle);
    return TRUE;
  }
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK:
      notifyPages(handle, PSN_APPLY);
      closeSheet(handle);
      return TRUE;
    case IDCANCEL:
      notifyPages(handle, PSN_RESET);
      closeSheet(handle);
      return TRUE;
    case kApplyButtonId:
      notifyPages(handle, PSN_APPLY);
      setApplyEnabled(handle, false);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

bool showSheetPage(HWND sheet, std::size_t index) {
  const std::uintptr_t handle = fromHwnd(sheet);
  auto it = sheets().find(handle);
  if (it == sheets().end() || index >= it->second.records.size()) return false;
  _PSP& record = *it->second.records[index];
  std::uintptr_t& pageWindow = it->second.pageWindows[index];
  const bool fresh = pageWindow == 0;
  if (fresh) {
    pageWindow = detail::createDialogWindow(*record.dialogTemplate, WindowRole::kPage, handle, 0,
                                            record.page.pfnDlgProc, record.page.hInstance);
    WindowModel& model = WindowModel::instance();
    std::lock_guard lock(model.mutex);
    if (Window* s = model.find(handle)) s->pages = it->second.pageWindows;
    if (Window* p = model.find(pageWindow)) {
      p->text = record.title;
      p->iconSvg = record.iconSvg;
    }
  }
  {
    WindowModel& model = WindowModel::instance();
    std::lock_guard lock(model.mutex);
    if (Window* s = model.find(handle)) s->activePage = index;
    model.touch();
  }
  const std::uintptr_t page = pageWindow;
  if (fresh) callDialogProc(page, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(&record.page));
  PSHNOTIFY notice{{sheet, 0, PSN_SETACTIVE}, 0};
  callDialogProc(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notice));
  return true;
}

HWND createPropertySheet(const std::string& caption, const std::vector<HPROPSHEETPAGE>& pages, HWND owner,
                         std::function<void()> onClosed) {
  short width = 0, height = 0;
  for (HPROPSHEETPAGE p : pages) {
    width = std::max(width, p->dialogTemplate->cx);
    height = std::max(height, p->dialogTemplate->cy);
  }
  width = std::max<short>(width, 212);
  height = std::max<short>(height, 100);
  DialogTemplate frame;
  frame.caption = caption;
  frame.cx = static_cast<short>(width + 14);
  frame.cy = static_cast<short>(height + 46);
  const short buttonY = static_cast<short>(height + 26);
  frame.controls.push_back(tpl::defPushButton("OK", IDOK, static_cast<short>(frame.cx - 171), buttonY, 50, 14));
  frame.controls.push_back(tpl::pushButton("Cancel", IDCANCEL, static_cast<short>(frame.cx - 116), buttonY, 50, 14));
  frame.controls.push_back(
      tpl::pushButton("Apply", kApplyButtonId, static_cast<short>(frame.cx - 61), buttonY, 50, 14, WS_DISABLED));
  const std::uintptr_t sheet = detail::createDialogWindow(frame, WindowRole::kSheet, 0, fromHwnd(owner), sheetProc, nullptr);
  SheetState& state = sheets()[sheet];
  state.onClosed = std::move(onClosed);
  for (HPROPSHEETPAGE p : pages) {
    state.records.emplace_back(p);
    state.pageWindows.push_back(0);
  }
  if (!pages.empty()) showSheetPage(toHwnd(sheet), 0);
  return toHwnd(sheet);
}

}  // namespace platform::ui

HPROPSHEETPAGE CreatePropertySheetPageA(const PROPSHEETPAGEA* page) noexcept {
  if (!page) return nullptr;
  const platform::ui::DialogTemplate* t = platform::ui::findDialog(page->hInstance, page->pszTemplate);
  if (!t) return nullptr;
  auto record = std::make_unique<_PSP>();
  record->page = *page;
  record->dialogTemplate = t;
  if ((page->dwFlags & PSP_USETITLE) && page->pszTitle) {
    if (IS_INTRESOURCE(page->pszTitle)) {
      char title[256];
      LoadStringA(page->hInstance, platform::ui::resourceId(page->pszTitle), title, sizeof(title));
      record->title = title;
    } else {
      record->title = page->pszTitle;
    }
  } else {
    record->title = t->caption;
  }
  if ((page->dwFlags & PSP_USEICONID) && page->pszIcon)
    if (const char* svg = platform::ui::findIcon(page->hInstance, page->pszIcon)) record->iconSvg = svg;
  return record.release();
}
