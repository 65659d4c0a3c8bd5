#pragma once
// The console's reads and writes of one site's key in the settings store: loading the
// working copy (creating a new site's key with its defaults), Apply, and the lists some
// dialogs store at once. List values are read and written whole, however long.

#include <string>
#include <optional>
#include <string_view>

#include "console/working_copy.h"

namespace console {

std::string siteKeyPath(int site);

enum class LoadOutcome {
  kLoaded,   // an existing key, read (without a "Browsers" sub-key the browser list is empty)
  kCreated,  // a new key with the defaults
  kFailed,   // the key could not be created
};

// homeFolder: the site's home directory, for a new key's folder defaults.
LoadOutcome loadWorkingCopy(int site, const std::string& homeFolder, WorkingCopy& copy);

// Writes every member the working copy knows, in the page's order; the browsers become
// exactly the working copy's (the sub-key is made when missing).
void applyWorkingCopy(int site, const WorkingCopy& copy);

// Creates the site key if needed and sets one text value.
bool storeSiteText(int site, const char* name, std::string_view text);
// Sets one text value only when the site key exists.
bool storeIfSiteExists(int site, const char* name, std::string_view text);
// A text value of the site key, whole; nullopt when absent.
std::optional<std::string> readSiteText(int site, const char* name);

std::string joinExtensions(const std::vector<ExtensionName>& list);
std::string joinPaths(const std::vector<Path>& list);

}  // namespace console
