// Modal and modeless dialogs, EndDialog and the message box.

#include <algorithm>

#include "platform/ui/ui_thread.h"
#include "platform/ui/window_model.h"

using platform::ui::DialogTemplate;
using platform::ui::WindowRole;
using platform::ui::detail::callDialogProc;
using platform::ui::detail::createDialogWindow;
using platform::ui::detail::fromHwnd;
using platform::ui::detail::toHwnd;
using platform::ui::detail::Window;
using platform::ui::detail::WindowModel;

namespace platform::ui::detail {

INT_PTR runModal(std::uintptr_t dialog, std::uintptr_t owner) {
  WindowModel& model = WindowModel::instance();
  std::uintptr_t ownerTop = 0;
  bool ownerWasEnabled = false;
  {
    std::lock_guard lock(model.mutex);
    if (Window* w = model.find(dialog)) w->modal = true;
    ownerTop = model.topLevelOf(owner);
    if (Window* o = model.find(ownerTop)) {
      ownerWasEnabled = o->enabled;
      o->enabled = false;
      model.touch();
    }
  }
  const bool running = pumpUntil([&] {
    std::lock_guard lock(model.mutex);
    Window* w = model.find(dialog);
    return !w || w->ended;
  });
  INT_PTR result = running ? 0 : IDCANCEL;
  {
    std::lock_guard lock(model.mutex);
    if (Window* w = model.find(dialog); w && w->ended) result = w->result;
    if (Window* o = model.find(ownerTop); o && ownerWasEnabled) o->enabled = true;
  }
  DestroyWindow(toHwnd(dialog));
  {
    std::lock_guard lock(model.mutex);
    if (model.find(ownerTop)) {
      std::erase(model.stacking(), ownerTop);
      model.stacking().push_back(ownerTop);
      model.active = ownerTop;
    }
    model.touch();
  }
  return result;
}

}  // namespace platform::ui::detail

namespace {

std::uintptr_t makeDialog(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, WindowRole role) {
  const DialogTemplate* t = platform::ui::findDialog(instance, templateName);
  if (!t) {
    SetLastError(1812);  // ERROR_RESOURCE_DATA_NOT_FOUND
    return 0;
  }
  return createDialogWindow(*t, role, 0, fromHwnd(owner), proc, instance);
}

}  // namespace

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param) noexcept {
  const std::uintptr_t dialog = makeDialog(instance, templateName, owner, proc, WindowRole::kDialog);
  if (!dialog) return -1;
  callDialogProc(dialog, WM_INITDIALOG, 0, param);
  return platform::ui::detail::runModal(dialog, fromHwnd(owner));
}

HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param) noexcept {
  const std::uintptr_t dialog = makeDialog(instance, templateName, owner, proc, WindowRole::kDialog);
  if (!dialog) return nullptr;
  callDialogProc(dialog, WM_INITDIALOG, 0, param);
  return toHwnd(dialog);
}

BOOL EndDialog(HWND dialog, INT_PTR result) noexcept {
  WindowModel& model = WindowModel::instance();
  std::lock_guard lock(model.mutex);
  Window* w = model.find(dialog);
  if (!w) return FALSE;
  w->ended = true;
  w->result = result;
  w->visible = false;
  model.touch();
  return TRUE;
}

namespace {

INT_PTR messageBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

}  // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) noexcept {
  using namespace platform::ui::tpl;
  const std::string body = text ? text : "";
  // Wide enough for the text on one line, up to a limit; longer texts wrap.
  const short width = static_cast<short>(std::clamp<std::size_t>(body.size() * 4 + 40, 150, 320));
  const short lines = static_cast<short>(1 + body.size() * 4 / static_cast<std::size_t>(width - 40));
  const short textHeight = static_cast<short>(8 * lines + 2);
  DialogTemplate t;
  t.caption = caption ? caption : "Error";
  t.cx = width;
  t.cy = static_cast<short>(textHeight + 44);
  t.controls.push_back(label(body, 0xFFFF, 20, 12, static_cast<short>(width - 30), textHeight));
  const bool withCancel = (type & 0xF) == MB_OKCANCEL;
  const short buttonY = static_cast<short>(textHeight + 22);
  if (withCancel) {
    t.controls.push_back(defPushButton("OK", IDOK, static_cast<short>(width / 2 - 55), buttonY, 50, 14));
    t.controls.push_back(pushButton("Cancel", IDCANCEL, static_cast<short>(width / 2 + 5), buttonY, 50, 14));
  } else {
    t.controls.push_back(defPushButton("OK", IDOK, static_cast<short>(width / 2 - 25), buttonY, 50, 14));
  }
  const std::uintptr_t box =
      createDialogWindow(t, WindowRole::kMessageBox, 0, fromHwnd(owner), messageBoxProc, nullptr);
  const INT_PTR result = platform::ui::detail::runModal(box, fromHwnd(owner));
  return static_cast<int>(result == IDOK ? IDOK : IDCANCEL);
}
