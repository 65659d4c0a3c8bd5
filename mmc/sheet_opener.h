#pragma once
// Opens a web site's property sheet as the management console does: the pages come from the
// property-sheet extensions registered for the web-site node type, created through COM.

#include <string>

#include "platform/ui/win_user.h"

namespace mmc {

// The node type of a web site in the IIS manager.
constexpr const char* kWebSiteNodeType = "{A841B6C7-7577-11D0-BB1F-00A0C922E79C}";

// On the user-interface thread. A sheet already open for the site comes to the front.
void openSiteProperties(HWND owner, int site, const std::string& description);

}  // namespace mmc
