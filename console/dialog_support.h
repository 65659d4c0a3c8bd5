#pragma once
// Small conveniences over the dialog calls that every console dialog uses.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/text/wide_text.h"
#include "platform/ui/win_user.h"

namespace console {

// The whole text of a control, however long.
std::string itemText(HWND dialog, int id);
void setItemText(HWND dialog, int id, const std::string& text);
void setItemNumber(HWND dialog, int id, long long value);
bool isChecked(HWND dialog, int id);
void setChecked(HWND dialog, int id, bool checked);
void enableItem(HWND dialog, int id, bool enabled);
// The text of a list box entry.
std::string listText(HWND dialog, int id, int index);

// Whether text can be one item of a stored list (no comma: the list encoding splits items
// there). When it cannot, a message box owned by dialog says why, naming what, and the
// caller keeps its dialog open.
bool acceptListItem(HWND dialog, const std::string& text, const char* what);

// A size typed into an edit box ("digits only"), as a number the store's readers take
// (0 to 2147483647); empty text gives whenEmpty. Otherwise nullopt after a message box
// that says why.
std::optional<std::int32_t> acceptSize(HWND dialog, const std::string& text, std::int32_t whenEmpty, const char* what);

// A typed text within a limit of the store's bytes, cut between characters: half a
// character would be stored as text that is no longer what was typed.
inline std::string withinLimit(const std::string& typed, std::size_t limit) {
  return std::string(platform::text::cutAtCharacter(typed, limit));
}

// What a dialog keeps of a typed text: the text as it was (whole, however long) when it was
// left unchanged, else what was typed within the limit.
inline std::string keptText(const std::string& typed, const std::string& before, std::size_t limit) {
  return typed == before ? before : withinLimit(typed, limit);
}

// The object a dialog was opened with, kept in its DWLP_USER slot at WM_INITDIALOG.
template <typename T>
T* dialogData(HWND dialog) {
  return reinterpret_cast<T*>(GetWindowLongPtrA(dialog, DWLP_USER));
}
inline void keepDialogData(HWND dialog, LPARAM data) { SetWindowLongPtrA(dialog, DWLP_USER, data); }

// Runs one of the console's dialogs modally; true when it ended with OK.
bool runDialog(int templateId, HWND owner, DLGPROC proc, LPARAM data);

// Ends the dialog with result; for a dialog procedure's return.
inline INT_PTR endDialog(HWND dialog, INT_PTR result) {
  EndDialog(dialog, result);
  return TRUE;
}

// Commands from buttons: the control id, or 0 for any other message or notification.
inline int clickedButton(UINT message, WPARAM wParam) {
  return message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED ? LOWORD(wParam) : 0;
}

}  // namespace console
