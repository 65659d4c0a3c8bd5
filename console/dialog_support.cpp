#include "console/dialog_support.h"

#include <vector>

#include "console/module_state.h"

namespace console {

std::string itemText(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  const int length = GetWindowTextLengthA(item);
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  GetWindowTextA(item, buffer.data(), length + 1);
  return buffer.data();
}

void setItemText(HWND dialog, int id, const std::string& text) { SetDlgItemTextA(dialog, id, text.c_str()); }

void setItemNumber(HWND dialog, int id, long long value) { setItemText(dialog, id, std::to_string(value)); }

bool isChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void setChecked(HWND dialog, int id, bool checked) { CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED); }

void enableItem(HWND dialog, int id, bool enabled) { EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE); }

std::string listText(HWND dialog, int id, int index) {
  const LRESULT length = SendDlgItemMessageA(dialog, id, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return {};
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  SendDlgItemMessageA(dialog, id, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
  return buffer.data();
}

bool runDialog(int templateId, HWND owner, DLGPROC proc, LPARAM data) {
  return DialogBoxParamA(moduleInstance(), MAKEINTRESOURCEA(static_cast<WORD>(templateId)), owner, proc, data) == IDOK;
}

}  // namespace console
