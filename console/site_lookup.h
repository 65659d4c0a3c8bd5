#pragma once
// Which web site a page belongs to: the site whose description the sheet's title starts with.

#include "platform/ui/win_user.h"

namespace console {

// The site number, or -1. The sheet's title ("<description> Properties") is cut at its last
// space; a site whose description equals the cut title wins, else the first (in the
// metabase's order) whose description begins it.
int FindSiteByTitle(HWND pageWindow);

}  // namespace console
