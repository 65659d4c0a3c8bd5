#pragma once
// Which web site a page belongs to: the site whose description the sheet's title starts with.

#include <optional>

#include "platform/ui/mmc.h"
#include "platform/ui/win_user.h"

namespace console {

// The site number, or -1. The sheet's title ("<description> Properties") is cut at its last
// space; a site whose description equals the cut title wins, else the first (in the
// metabase's order) whose description begins it.
int FindSiteByTitle(HWND pageWindow);

// The site of the node from its metabase path ("/LM/W3SVC/<n>"): n, or -1 when the node is
// not a web site the metabase holds; nullopt when the node does not tell its path (the title must do).
std::optional<int> SiteOfNode(LPDATAOBJECT node);

}  // namespace console
