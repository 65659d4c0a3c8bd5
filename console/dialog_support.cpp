#include "console/dialog_support.h"

#include <algorithm>
#include <vector>

#include "console/module_state.h"
#include "settings/rule_lists.h"

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

bool acceptListItem(HWND dialog, const std::string& text, const char* what) {
  if (settings::canHoldListItem(text)) return true;
  const std::string message = std::string(what) +
                              " cannot contain a comma: the settings store separates the items of its lists with "
                              "commas, so the text would not read back as typed.";
  MessageBoxA(dialog, message.c_str(), "Tamsic", MB_OK | MB_ICONEXCLAMATION);
  return false;
}

std::optional<std::int32_t> acceptSize(HWND dialog, const std::string& text, std::int32_t whenEmpty, const char* what) {
  if (text.empty()) return whenEmpty;
  // The readers take the store's numbers as 32-bit signed values: a larger one would read
  // back clamped, so it is refused here rather than stored.
  constexpr std::int64_t kLargest = 2147483647;
  std::int64_t value = 0;
  bool ok = true;
  for (char c : text) {
    if (c < '0' || c > '9') ok = false;
    else if (ok) value = std::min<std::int64_t>(value * 10 + (c - '0'), kLargest + 1);
  }
  if (ok && value <= kLargest) return static_cast<std::int32_t>(value);
  const std::string message = std::string(what) + " must be a whole number of bytes from 0 to 2147483647.";
  MessageBoxA(dialog, message.c_str(), "Tamsic", MB_OK | MB_ICONEXCLAMATION);
  return std::nullopt;
}

bool runDialog(int templateId, HWND owner, DLGPROC proc, LPARAM data) {
  return DialogBoxParamA(moduleInstance(), MAKEINTRESOURCEA(static_cast<WORD>(templateId)), owner, proc, data) == IDOK;
}

}  // namespace console
