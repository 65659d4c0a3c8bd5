#pragma once
// The console's main window: the IIS manager tree (the computer, "Web Sites", each site by its
// description) with "Properties" for the selected site.

#include "platform/ui/win_user.h"

namespace mmc {

constexpr const char* kConsoleCaption = "Internet Information Services";
constexpr int kSiteTreeId = 100;
constexpr int kPropertiesButton = 101;
constexpr int kRefreshButton = 102;

// On the user-interface thread: shows the window (modeless) and returns it.
HWND showSiteTree();

}  // namespace mmc
