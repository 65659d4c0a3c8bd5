#pragma once
// Warns, before a MIME rule is added, that a rule of the other list decides for the same type:
// browser rules take precedence over the site's MIME Types list. True: go ahead with the add.

#include <optional>
#include <string_view>
#include <vector>

#include "platform/ui/win_user.h"
#include "settings/site_settings.h"

namespace console {

// Adding to the MIME Types list: type, or subType of type.
bool confirmMimeTypeAdd(HWND owner, const std::vector<settings::BrowserRule>& browsers, std::string_view type,
                        std::optional<std::string_view> subType);
// Adding to a browser's rules.
bool confirmBrowserMimeAdd(HWND owner, const std::vector<settings::MimeRule>& mimeTypes, std::string_view type,
                           std::optional<std::string_view> subType);

}  // namespace console
