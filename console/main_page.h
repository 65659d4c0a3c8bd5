#pragma once
// The "Tamsic" page of a web site's property sheet.

#include "platform/ui/win_user.h"

namespace console {

INT_PTR CALLBACK MainPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace console
