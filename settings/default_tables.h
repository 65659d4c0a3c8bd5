#pragma once
// The built-in rule tables a site gets when its key holds no rule lists, in the order
// they are stored. Each builder returns a new list, or nullopt when memory runs out.

#include <optional>
#include <string_view>
#include <vector>

#include "settings/site_settings.h"

namespace settings {

std::optional<std::vector<ExtensionRule>> buildDefaultExtensionTable();
std::optional<std::vector<ExtensionRule>> buildDefaultCacheList();
std::optional<std::vector<MimeRule>> buildDefaultMimeTable();
std::optional<std::vector<BrowserRule>> buildDefaultBrowserTable();

// Appends a top-level rule at the tail. Names are cut to their field's width.
bool appendMimeRule(std::vector<MimeRule>& rules, std::string_view name, int compress, int level);
// Appends a sub-type under the first top-level rule named exactly type (case-sensitive);
// a type the list does not hold adds nothing and still succeeds.
bool appendMimeSubType(std::vector<MimeRule>& rules, std::string_view type, std::string_view name,
                       int compress, int level);

}  // namespace settings
