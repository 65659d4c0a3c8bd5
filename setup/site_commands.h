#pragma once
// hostprep's smaller commands over the web sites and the registry: files copied into or
// deleted from every site's home directory, the site count, a key that ordinary users may
// write, and the per-site keys of the maker's sibling product.

#include <string>

namespace setup {

constexpr const char* kSiblingSitesKey = "SOFTWARE\\Korvane\\Dorvell\\Value\\Sites";

void DeleteFromSiteRoots(const std::string& fileName);
// File mode when the text after source's last '\' holds a '.', else folder mode (source a
// pattern such as "C:\dir\*"). Existing files are never overwritten.
void CopyToSiteRoots(const std::string& source, const std::string& targetName);
int CountSites();
// A key below HKEY_LOCAL_MACHINE whose access list gives Administrators and Users every
// right, inherited by what is made below it. An existing key keeps its security.
void CreateSharedKey(const std::string& path);
void InitSiblingSiteKeys();

}  // namespace setup
