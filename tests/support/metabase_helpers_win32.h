#pragma once
// Shortcuts for setting up sites in the metabase of the machine under Wine, through
// IMSAdminBaseW as the system reaches it. Each fails the test when the metabase refuses.

#include <windows.h>
#include <iadmw.h>
#include <iiscnfg.h>

#include <string>

namespace testing_support {

// Creates the key and those above it (ERROR_ALREADY_EXISTS counts as done).
void metabaseKey(const std::string& path);

void setMetabaseString(const std::string& path, DWORD id, const std::string& text, DWORD attributes = 0,
                       DWORD userType = IIS_MD_UT_SERVER, DWORD type = STRING_METADATA);

void deleteMetabaseKey(const std::string& path);

void deleteMetabaseProperty(const std::string& path, DWORD id);

// A web site n with its home directory (none when root is empty).
inline void addSite(int n, const std::string& root) {
  const std::string path = "/LM/W3SVC/" + std::to_string(n);
  setMetabaseString(path, MD_SERVER_COMMENT, "Site " + std::to_string(n));
  if (!root.empty()) setMetabaseString(path + "/Root", MD_VR_PATH, root, METADATA_INHERIT, IIS_MD_UT_FILE);
}

}  // namespace testing_support
