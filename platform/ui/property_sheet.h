#pragma once
// A modeless property sheet, as the management console opens one for a node: its pages
// were made with CreatePropertySheetPageA by the extensions; OK, Cancel and Apply (greyed
// until a page reports a change) and one tab per page.

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/win_user.h"

namespace platform::ui {

constexpr int kApplyButtonId = 0x3021;
constexpr int kTabControlId = 0x3020;

// On the user-interface thread. The first page is shown (and initialised) at once;
// onClosed runs after the sheet and its pages are gone.
HWND createPropertySheet(const std::string& caption, const std::vector<HPROPSHEETPAGE>& pages, HWND owner,
                         std::function<void()> onClosed);

// Shows page index of the sheet, initialising it on its first showing.
bool showSheetPage(HWND sheet, std::size_t index);

}  // namespace platform::ui
