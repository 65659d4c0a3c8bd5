#include "setup/site_commands.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/fs/file_api.h"
#include "platform/metabase/admin_base.h"
#include "platform/os_version.h"
#include "platform/registry/registry.h"
#include "platform/registry/unique_key.h"
#include "settings/metabase_session.h"
#include "settings/rule_lists.h"

namespace setup {

namespace {

using settings::MetabaseSession;

constexpr DWORD kMaxSiteIndex = 999;
constexpr DWORD kFileUserType = 2;

bool hasAlphabetic(const std::string& name) {
  for (unsigned char c : name)
    if (std::isalpha(c)) return true;
  return false;
}

std::optional<std::string> homeDirectory(const std::string& child) {
  const std::string sub = child + "\\Root";
  return MetabaseSession::ReadString("/LM/W3SVC", sub.c_str(), MD_VR_PATH, kFileUserType);
}

bool isFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void copyMatches(const std::string& pattern, const std::string& folder) {
  const std::string sourceFolder = pattern.substr(0, pattern.rfind('\\') + 1);
  WIN32_FIND_DATAA found{};
  UniqueSearch search(FindFirstFileA(pattern.c_str(), &found));
  if (!search) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string name = found.cFileName;
    CopyFileA((sourceFolder + name).c_str(), (folder + "\\" + name).c_str(), TRUE);
  } while (FindNextFileA(search.get(), &found));
}

}  // namespace

void DeleteFromSiteRoots(const std::string& fileName) {
  for (DWORD index = 0; index <= kMaxSiteIndex; ++index) {
    const auto child = MetabaseSession::EnumChildKey(index, nullptr);
    if (!child) return;
    const auto home = homeDirectory(*child);
    if (!home) continue;
    DeleteFileA((*home + "\\" + fileName).c_str());
  }
}

void CopyToSiteRoots(const std::string& source, const std::string& targetName) {
  const std::size_t slash = source.rfind('\\');
  if (slash == std::string::npos) return;
  const bool fileMode = source.find('.', slash + 1) != std::string::npos;
  for (DWORD index = 0; index <= kMaxSiteIndex; ++index) {
    const auto child = MetabaseSession::EnumChildKey(index, nullptr);
    if (!child) return;
    if (hasAlphabetic(*child)) continue;
    const auto home = homeDirectory(*child);
    if (!home) continue;
    const std::string target = *home + "\\" + targetName;
    if (fileMode) {
      CopyFileA(source.c_str(), target.c_str(), TRUE);
    } else if (!isFolder(target) && CreateDirectoryA(target.c_str(), nullptr)) {
      copyMatches(source, target);
    }
  }
}

int CountSites() {
  int count = 0;
  for (DWORD index = 0;; ++index) {
    const auto child = MetabaseSession::EnumChildKey(index, nullptr);
    if (!child) return count;
    if (!hasAlphabetic(*child)) ++count;
  }
}

void CreateSharedKey(const std::string& path) {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  PSID users = nullptr;
  AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins);
  AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, &users);
  bool built = admins && users;
  std::vector<DWORD> aclMemory;  // DWORD-aligned storage for the list
  SECURITY_DESCRIPTOR descriptor;
  if (built) {
    const DWORD aclBytes = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) + GetLengthSid(admins) +
                           GetLengthSid(users);
    aclMemory.assign((aclBytes + 3) / 4, 0);
    auto* acl = reinterpret_cast<PACL>(aclMemory.data());
    const DWORD inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    built = InitializeAcl(acl, aclBytes, ACL_REVISION) &&
            AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, 0xFFFFFFFF, admins) &&
            AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, 0xFFFFFFFF, users) &&
            InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
            SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
  }
  SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), &descriptor, FALSE};
  UniqueKey key;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                  built ? &attributes : nullptr, key.put(), nullptr);
  if (admins) FreeSid(admins);
  if (users) FreeSid(users);
}

void InitSiblingSiteKeys() {
  DWORD count = 0;
  while (MetabaseSession::EnumChildKey(count, nullptr)) ++count;
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
  GetVersionExA(&version);
  static const std::pair<const char*, const char*> kDefaults[] = {
      {"Default", "months"}, {"FromLast", "0"}, {"Disable", "0"}, {"override", "0"}, {"Deftime", "0"}, {"TimeNum", "1"}};
  for (DWORD index = version.dwMinorVersion == 0 ? 1 : 0; index < count; ++index) {
    const auto child = MetabaseSession::EnumChildKey(index, nullptr);
    if (!child) return;
    if (hasAlphabetic(*child)) continue;
    const auto site = static_cast<unsigned>(settings::parseNumber(*child));
    if (!MetabaseSession::ReadSiteRoot(site, MD_VR_PATH)) return;
    char path[300];
    std::snprintf(path, sizeof(path), "%s\\%u", kSiblingSitesKey, site);
    UniqueKey existing;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, existing.put()) == ERROR_SUCCESS) continue;
    UniqueKey key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
      return;
    for (const auto& [name, value] : kDefaults)
      RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                     static_cast<DWORD>(std::strlen(value) + 1));
  }
}

}  // namespace setup
