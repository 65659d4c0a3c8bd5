#pragma once
// Security descriptors as the Win32 security calls build them: well-known SIDs, a
// discretionary access list of access-allowed entries laid out as Windows lays it out
// (ACL header, then each ACE with its header, mask and SID), and the descriptor holding it.
// The registry keeps a key's descriptor as SDDL text ("D:(A;OICI;0xffffffff;;;S-1-5-32-544)").

#include <optional>
#include <string>

#include "platform/win_types.h"

#ifdef _WIN32
#include <windows.h>
#else

struct SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6];
};
inline constexpr SID_IDENTIFIER_AUTHORITY SECURITY_NT_AUTHORITY = {{0, 0, 0, 0, 0, 5}};
constexpr DWORD SECURITY_BUILTIN_DOMAIN_RID = 32;
constexpr DWORD DOMAIN_ALIAS_RID_ADMINS = 544;
constexpr DWORD DOMAIN_ALIAS_RID_USERS = 545;

struct SID {
  BYTE Revision;
  BYTE SubAuthorityCount;
  SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
  DWORD SubAuthority[1];  // SubAuthorityCount of them
};
using PSID = void*;

struct ACL {
  BYTE AclRevision;
  BYTE Sbz1;
  WORD AclSize;
  WORD AceCount;
  WORD Sbz2;
};
using PACL = ACL*;
constexpr DWORD ACL_REVISION = 2;

struct ACE_HEADER {
  BYTE AceType;
  BYTE AceFlags;
  WORD AceSize;
};
using ACCESS_MASK = DWORD;
struct ACCESS_ALLOWED_ACE {
  ACE_HEADER Header;
  ACCESS_MASK Mask;
  DWORD SidStart;
};
constexpr BYTE ACCESS_ALLOWED_ACE_TYPE = 0;
constexpr BYTE OBJECT_INHERIT_ACE = 0x1;
constexpr BYTE CONTAINER_INHERIT_ACE = 0x2;

// A security descriptor as the system builds one: absolute form, with or without a
// discretionary access list. A present DACL given as null grants everyone full access.
struct SECURITY_DESCRIPTOR {
  BYTE Revision = 0;
  WORD Control = 0;
  BOOL DaclPresent = FALSE;
  BOOL DaclDefaulted = FALSE;
  const void* Dacl = nullptr;
};
using PSECURITY_DESCRIPTOR = void*;
constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;
constexpr DWORD DACL_SECURITY_INFORMATION = 4;

BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE count, DWORD s0, DWORD s1, DWORD s2,
                              DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7, PSID* sid) noexcept;
void* FreeSid(PSID sid) noexcept;
DWORD GetLengthSid(PSID sid) noexcept;
BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision) noexcept;
// Fails with ERROR_ALLOTTED_SPACE_EXCEEDED when the list's buffer has no room left.
BOOL AddAccessAllowedAceEx(PACL acl, DWORD revision, DWORD flags, DWORD mask, PSID sid) noexcept;
BOOL GetAce(PACL acl, DWORD index, void** ace) noexcept;

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision) noexcept;
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL present, const void* dacl, BOOL defaulted) noexcept;
BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL* present, PACL* dacl, BOOL* defaulted) noexcept;

namespace platform::security {

// "" for the default descriptor (nothing of its own).
std::string toSddl(const SECURITY_DESCRIPTOR* sd);
// Writes the descriptor of the text with its DACL right behind it into a caller's buffer,
// as RegGetKeySecurity hands it out. ERROR_INSUFFICIENT_BUFFER with *size set to what is
// needed; ERROR_INVALID_DATA for text it cannot read.
LONG writeDescriptor(const std::string& sddl, void* buffer, DWORD* size);
// "S-1-5-32-544"
std::string sidText(const SID* sid);

}  // namespace platform::security

#endif  // _WIN32
