#pragma once
// A user's input, as the window system delivers it: to be called on the user-interface
// thread. Input to a greyed control, or to a window whose top-level window is greyed (the
// owner of a modal dialog), is dropped, as Windows drops it. Each call reports whether
// the input reached a window.

#include <cstdint>
#include <string_view>
#include <vector>

namespace platform::ui::input {

// Whether input to the control (or window) would reach it now. Input that opens a modal
// dialog returns only when that dialog ends, so callers that must answer sooner ask this
// first.
bool accepts(std::uintptr_t handle);

// A button: a push button sends BN_CLICKED, a check box toggles first, an automatic radio
// button checks itself and clears its group.
bool click(std::uintptr_t control);
// Replaces an edit's text (an ES_NUMBER edit drops anything but digits; the text limit
// holds) and sends EN_CHANGE.
bool type(std::uintptr_t control, std::string_view text);
// A list box entry (extend: add to a multiple selection instead of replacing it) or a
// drop-down entry; sends LBN_SELCHANGE or CBN_SELCHANGE.
bool selectEntry(std::uintptr_t control, int index, bool extend);
bool doubleClickEntry(std::uintptr_t control, int index);
// A tree item: selects it and sends TVN_SELCHANGED; toggle opens or closes it.
bool selectTreeItem(std::uintptr_t control, std::uintptr_t item);
bool toggleTreeItem(std::uintptr_t control, std::uintptr_t item);
bool doubleClickTreeItem(std::uintptr_t control, std::uintptr_t item);
bool setSliderPosition(std::uintptr_t control, int position);
// A click on a window's background (a page gets WM_LBUTTONDOWN) brings its window forward.
bool mouseDown(std::uintptr_t window);
bool selectSheetPage(std::uintptr_t sheet, std::size_t index);
// The caption's close box: IDCANCEL to a dialog.
bool close(std::uintptr_t window);

}  // namespace platform::ui::input
