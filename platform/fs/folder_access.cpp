#include "platform/fs/folder_access.h"

#include <pwd.h>
#include <acl/libacl.h>
#include <sys/acl.h>

#include <string>
#include <vector>

#include "platform/fs/windows_path.h"

namespace platform::fs {

namespace {

struct AclOwner {
  acl_t acl;
  ~AclOwner() {
    if (acl) acl_free(acl);
  }
};

// The ACL_USER entry for uid, if the list has one.
bool findUserEntry(acl_t acl, uid_t uid, acl_entry_t& found) {
  acl_entry_t entry;
  for (int id = ACL_FIRST_ENTRY; acl_get_entry(acl, id, &entry) == 1; id = ACL_NEXT_ENTRY) {
    acl_tag_t tag;
    if (acl_get_tag_type(entry, &tag) != 0 || tag != ACL_USER) continue;
    auto* qualifier = static_cast<uid_t*>(acl_get_qualifier(entry));
    const bool same = qualifier && *qualifier == uid;
    if (qualifier) acl_free(qualifier);
    if (same) {
      found = entry;
      return true;
    }
  }
  return false;
}

// Adds (or widens) the entry for uid with read, write and traverse: write on a folder is
// useless without the right to enter it.
bool addUserEntry(acl_t& acl, uid_t uid) {
  acl_entry_t entry;
  if (!findUserEntry(acl, uid, entry)) {
    if (acl_create_entry(&acl, &entry) != 0 || acl_set_tag_type(entry, ACL_USER) != 0 ||
        acl_set_qualifier(entry, &uid) != 0)
      return false;
  }
  acl_permset_t perms;
  if (acl_get_permset(entry, &perms) != 0) return false;
  acl_add_perm(perms, ACL_READ);
  acl_add_perm(perms, ACL_WRITE);
  acl_add_perm(perms, ACL_EXECUTE);
  return acl_set_permset(entry, perms) == 0;
}

bool grant(const std::string& path, acl_type_t type, uid_t uid) {
  AclOwner current{acl_get_file(path.c_str(), type)};
  if (!current.acl) return false;
  // An empty default list must get the owner, group and other entries a valid list needs:
  // start it from the folder's access list.
  if (type == ACL_TYPE_DEFAULT && acl_entries(current.acl) == 0) {
    acl_free(current.acl);
    current.acl = acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
    if (!current.acl) return false;
  }
  if (!addUserEntry(current.acl, uid)) return false;
  if (acl_calc_mask(&current.acl) != 0 || acl_valid(current.acl) != 0) return false;
  return acl_set_file(path.c_str(), type, current.acl) == 0;
}

}  // namespace

GrantResult grantWriteAccess(std::string_view windowsFolder, std::string_view account) {
  if (std::size_t slash = account.find_last_of('\\'); slash != std::string_view::npos)
    account.remove_prefix(slash + 1);
  if (account.empty()) return GrantResult::kNoSuchAccount;
  std::string user(account);
  std::vector<char> buffer(16384);
  struct passwd pwd;
  struct passwd* found = nullptr;
  if (getpwnam_r(user.c_str(), &pwd, buffer.data(), buffer.size(), &found) != 0 || !found)
    return GrantResult::kNoSuchAccount;
  auto host = hostPath(windowsFolder);
  if (!host) return GrantResult::kFailed;
  const std::string path = host->string();
  if (!grant(path, ACL_TYPE_ACCESS, found->pw_uid)) return GrantResult::kFailed;
  if (!grant(path, ACL_TYPE_DEFAULT, found->pw_uid)) return GrantResult::kFailed;
  return GrantResult::kGranted;
}

}  // namespace platform::fs
