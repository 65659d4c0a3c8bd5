#pragma once
// The working folders of a loaded site (statistics, cache, report) and the copy of the
// report resources into it.

#include <string>
#include <string_view>

#include "settings/site_settings.h"

namespace settings {

// The folder below a site's CacheFolder that holds its copies, mirroring the URL tree.
constexpr const char* kCacheSubFolder = "\\korvanecompress";

enum class FolderResult {
  kDone,
  kSkipped,         // the global key could not be opened: nothing done for this site
  kNoProgFiles,     // "ProgFiles" is missing: the load fails
};

// A folder as Windows opens it, spelled one way: "." and empty components dropped, ".."
// taking the one before it, the dots and blanks a name ends with dropped, either separator
// read as '\\', and a folder without a drive (nor a network name) on the drive of the
// site's root. "" stays "" (no folder).
std::string plainFolder(std::string_view folder, std::string_view siteRoot);

// Creates the site's LogFolder, CacheFolder and "<root>\tamsicreport" where missing,
// granting anonymousAccount write access to each one it creates, then copies the report
// resources ("ProgFiles" + "reporting", and its "\images") into the report folder.
FolderResult prepareSiteFolders(const SiteSettings& site, std::string_view anonymousAccount);

// Copies every file (not sub-folders) of sourceFolder to destinationPrefix + its name,
// replacing what is there. Nothing for an empty source or the drive root "C:\". Failures of
// single copies are ignored.
void copyFolderFiles(std::string_view sourceFolder, std::string_view destinationPrefix);

// Deletes everything inside the folder (not the folder itself); refuses "" and the drive root
// "C:\" (in any case). Links are removed, never followed. False when the folder could not be
// listed. The cache's clearing at load and the console's "Clear Cache Now" both use it.
bool EmptyFolder(std::string_view folder);

}  // namespace settings
