#pragma once
// Tells the running filter to reload its settings: one HTTP request to the local web server,
// sent and not waited for. Failures are silent: the filter picks the settings up at its
// next load anyway.

#include <optional>
#include <string>

#include "platform/ui/win_user.h"

namespace console {

class PropertySheetExtension;

// The request goes to the site's binding: its address (or 127.0.0.1) and its port. For a
// binding that names no port, this global settings value names it (a REG_SZ decimal text or
// a REG_DWORD); absent, port 80.
constexpr const char* kReloadPortValue = "ReloadPort";

// The request's bytes; the Host is the site's host name, else address.
std::string FormatReloadRequest(const std::string& token, const std::optional<std::string>& hostName,
                                const std::string& address);

// Shows the applying notice and the wait cursor while it connects and sends.
void SendReloadRequest(HWND page, const PropertySheetExtension& extension);

}  // namespace console
