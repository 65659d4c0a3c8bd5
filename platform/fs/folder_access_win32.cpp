// The grant through the security API: one access-allowed entry for the account, inherited by
// what is created inside, merged into the folder's existing list.
#include "platform/fs/folder_access.h"

#include <windows.h>
#include <aclapi.h>

#include <string>

namespace platform::fs {

GrantResult grantWriteAccess(std::string_view windowsFolder, std::string_view account) {
  std::string folder(windowsFolder);
  std::string name(account);
  PACL oldList = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &oldList,
                            nullptr, &descriptor) != ERROR_SUCCESS)
    return GrantResult::kFailed;

  EXPLICIT_ACCESS_A entry{};
  entry.grfAccessPermissions = FILE_GENERIC_WRITE;
  entry.grfAccessMode = GRANT_ACCESS;
  entry.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
  entry.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
  entry.Trustee.TrusteeType = TRUSTEE_IS_USER;
  entry.Trustee.ptstrName = name.data();
  PACL newList = nullptr;
  const DWORD merged = SetEntriesInAclA(1, &entry, oldList, &newList);
  LocalFree(descriptor);
  if (merged == ERROR_NONE_MAPPED) return GrantResult::kNoSuchAccount;
  if (merged != ERROR_SUCCESS) return GrantResult::kFailed;

  const DWORD set = SetNamedSecurityInfoA(folder.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                          newList, nullptr);
  LocalFree(newList);
  return set == ERROR_SUCCESS ? GrantResult::kGranted : GrantResult::kFailed;
}

}  // namespace platform::fs
