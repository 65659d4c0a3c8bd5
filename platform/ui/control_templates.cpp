// The statements of a resource script as control templates: plain data, also compiled into
// the tool that writes the Windows resource script from the same templates.
#include "platform/ui/resources.h"

#include <string>

namespace platform::ui {

namespace tpl {

namespace {
ControlTemplate make(const char* cls, std::string_view caption, int id, short x, short y, short cx, short cy, DWORD style) {
  return ControlTemplate{cls, std::string(caption), id, x, y, cx, cy, WS_CHILD | WS_VISIBLE | style};
}
}  // namespace

ControlTemplate pushButton(std::string_view c, int id, short x, short y, short cx, short cy, DWORD extra) {
  return make(WC_BUTTON, c, id, x, y, cx, cy, BS_PUSHBUTTON | WS_TABSTOP | extra);
}
ControlTemplate defPushButton(std::string_view c, int id, short x, short y, short cx, short cy) {
  return make(WC_BUTTON, c, id, x, y, cx, cy, BS_DEFPUSHBUTTON | WS_TABSTOP);
}
ControlTemplate checkBox(std::string_view c, int id, short x, short y, short cx, short cy, DWORD extra) {
  return make(WC_BUTTON, c, id, x, y, cx, cy, BS_AUTOCHECKBOX | WS_TABSTOP | extra);
}
ControlTemplate radioButton(std::string_view c, int id, short x, short y, short cx, short cy, DWORD extra) {
  return make(WC_BUTTON, c, id, x, y, cx, cy, BS_AUTORADIOBUTTON | extra);
}
ControlTemplate groupBox(std::string_view c, int id, short x, short y, short cx, short cy) {
  return make(WC_BUTTON, c, id, x, y, cx, cy, BS_GROUPBOX);
}
ControlTemplate label(std::string_view c, int id, short x, short y, short cx, short cy, DWORD extra) {
  return make(WC_STATIC, c, id, x, y, cx, cy, SS_LEFT | extra);
}
ControlTemplate edit(int id, short x, short y, short cx, short cy, DWORD extra) {
  return make(WC_EDIT, "", id, x, y, cx, cy, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | extra);
}
ControlTemplate listBox(int id, short x, short y, short cx, short cy, DWORD extra) {
  return make(WC_LISTBOX, "", id, x, y, cx, cy, LBS_NOTIFY | WS_BORDER | WS_VSCROLL | WS_TABSTOP | extra);
}
ControlTemplate dropDownList(int id, short x, short y, short cx, short cy) {
  return make(WC_COMBOBOX, "", id, x, y, cx, cy, CBS_DROPDOWNLIST | WS_TABSTOP);
}
ControlTemplate treeView(int id, short x, short y, short cx, short cy) {
  return make(WC_TREEVIEWA, "", id, x, y, cx, cy,
              TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP);
}
ControlTemplate slider(int id, short x, short y, short cx, short cy) {
  return make(TRACKBAR_CLASSA, "", id, x, y, cx, cy, TBS_AUTOTICKS | WS_TABSTOP);
}
ControlTemplate icon(int iconId, int id, short x, short y) {
  return make(WC_STATIC, std::to_string(iconId), id, x, y, 21, 20, SS_ICON);
}

}  // namespace tpl

}  // namespace platform::ui
