#pragma once
// The console's own default lists (they differ from the filter's in a few browser entries
// and in the cached-extension list).

#include <vector>

#include "console/working_copy.h"

namespace console {

std::vector<settings::ExtensionRule> defaultExtensionList();
std::vector<settings::MimeRule> defaultMimeList();
std::vector<settings::BrowserRule> defaultBrowserList();
std::vector<ExtensionName> defaultCachedExtensions();

}  // namespace console
