#include "platform/registry/security_descriptor.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr BYTE kSidRevision = 1;
constexpr BYTE kMaxSubAuthorities = 15;
constexpr LONG ERROR_ALLOTTED_SPACE_EXCEEDED = 1344;

DWORD sidLength(BYTE subAuthorities) { return 8 + 4u * subAuthorities; }

struct ParsedAce {
  BYTE flags = 0;
  DWORD mask = 0;
  std::vector<BYTE> sid;
};

std::optional<std::vector<BYTE>> sidFromText(const std::string& text) {
  // S-1-<authority>-<sub>-<sub>...
  if (text.rfind("S-1-", 0) != 0) return std::nullopt;
  std::vector<unsigned long long> parts;
  std::size_t at = 4;
  while (at <= text.size()) {
    std::size_t dash = text.find('-', at);
    if (dash == std::string::npos) dash = text.size();
    const std::string part = text.substr(at, dash - at);
    if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos || part.size() > 12) return std::nullopt;
    parts.push_back(std::strtoull(part.c_str(), nullptr, 10));
    at = dash + 1;
  }
  if (parts.size() < 2 || parts.size() - 1 > kMaxSubAuthorities || parts[0] > 0xFFFFFFFFFFFFull) return std::nullopt;
  const auto count = static_cast<BYTE>(parts.size() - 1);
  std::vector<BYTE> bytes(sidLength(count));
  auto* sid = reinterpret_cast<SID*>(bytes.data());
  sid->Revision = kSidRevision;
  sid->SubAuthorityCount = count;
  for (int i = 0; i < 6; ++i) sid->IdentifierAuthority.Value[5 - i] = static_cast<BYTE>(parts[0] >> (8 * i));
  for (BYTE i = 0; i < count; ++i) {
    const auto value = static_cast<DWORD>(parts[i + 1]);
    std::memcpy(bytes.data() + 8 + 4 * i, &value, 4);
  }
  return bytes;
}

}  // namespace

BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE count, DWORD s0, DWORD s1, DWORD s2,
                              DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7, PSID* result) noexcept {
  if (!authority || !result || count == 0 || count > 8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* bytes = new (std::nothrow) BYTE[sidLength(count)];
  if (!bytes) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  auto* sid = reinterpret_cast<SID*>(bytes);
  sid->Revision = kSidRevision;
  sid->SubAuthorityCount = count;
  sid->IdentifierAuthority = *authority;
  const DWORD subs[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
  std::memcpy(bytes + 8, subs, 4u * count);
  *result = sid;
  return TRUE;
}

void* FreeSid(PSID sid) noexcept {
  delete[] static_cast<BYTE*>(sid);
  return nullptr;
}

DWORD GetLengthSid(PSID sid) noexcept { return sid ? sidLength(static_cast<SID*>(sid)->SubAuthorityCount) : 0; }

BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision) noexcept {
  if (!acl || length < sizeof(ACL) || length > 0xFFFF || revision != ACL_REVISION) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *acl = ACL{static_cast<BYTE>(revision), 0, static_cast<WORD>(length), 0, 0};
  return TRUE;
}

namespace {

// Bytes of the list already taken by its header and entries.
DWORD usedBytes(const ACL* acl) {
  DWORD used = sizeof(ACL);
  const BYTE* at = reinterpret_cast<const BYTE*>(acl) + sizeof(ACL);
  for (WORD i = 0; i < acl->AceCount; ++i) {
    const auto* header = reinterpret_cast<const ACE_HEADER*>(at);
    used += header->AceSize;
    at += header->AceSize;
  }
  return used;
}

}  // namespace

BOOL AddAccessAllowedAceEx(PACL acl, DWORD revision, DWORD flags, DWORD mask, PSID sid) noexcept {
  if (!acl || !sid || revision != ACL_REVISION) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD sidBytes = GetLengthSid(sid);
  const DWORD aceBytes = static_cast<DWORD>(offsetof(ACCESS_ALLOWED_ACE, SidStart)) + sidBytes;
  const DWORD used = usedBytes(acl);
  if (used + aceBytes > acl->AclSize) {
    SetLastError(ERROR_ALLOTTED_SPACE_EXCEEDED);
    return FALSE;
  }
  BYTE* at = reinterpret_cast<BYTE*>(acl) + used;
  ACE_HEADER header{ACCESS_ALLOWED_ACE_TYPE, static_cast<BYTE>(flags), static_cast<WORD>(aceBytes)};
  std::memcpy(at, &header, sizeof(header));
  std::memcpy(at + sizeof(header), &mask, sizeof(mask));
  std::memcpy(at + offsetof(ACCESS_ALLOWED_ACE, SidStart), sid, sidBytes);
  acl->AceCount += 1;
  return TRUE;
}

BOOL GetAce(PACL acl, DWORD index, void** ace) noexcept {
  if (!acl || !ace || index >= acl->AceCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  BYTE* at = reinterpret_cast<BYTE*>(acl) + sizeof(ACL);
  for (DWORD i = 0; i < index; ++i) at += reinterpret_cast<ACE_HEADER*>(at)->AceSize;
  *ace = at;
  return TRUE;
}

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision) noexcept {
  if (!sd || revision != SECURITY_DESCRIPTOR_REVISION) return FALSE;
  *static_cast<SECURITY_DESCRIPTOR*>(sd) = SECURITY_DESCRIPTOR{};
  static_cast<SECURITY_DESCRIPTOR*>(sd)->Revision = static_cast<BYTE>(revision);
  return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL present, const void* dacl, BOOL defaulted) noexcept {
  if (!sd) return FALSE;
  auto* d = static_cast<SECURITY_DESCRIPTOR*>(sd);
  d->DaclPresent = present;
  d->Dacl = dacl;
  d->DaclDefaulted = defaulted;
  return TRUE;
}

BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL* present, PACL* dacl, BOOL* defaulted) noexcept {
  if (!sd || !present || !dacl || !defaulted) return FALSE;
  const auto* d = static_cast<const SECURITY_DESCRIPTOR*>(sd);
  *present = d->DaclPresent;
  *dacl = static_cast<PACL>(const_cast<void*>(d->Dacl));
  *defaulted = d->DaclDefaulted;
  return TRUE;
}

namespace platform::security {

std::string sidText(const SID* sid) {
  unsigned long long authority = 0;
  for (BYTE b : sid->IdentifierAuthority.Value) authority = (authority << 8) | b;
  std::string text = "S-1-" + std::to_string(authority);
  const BYTE* subs = reinterpret_cast<const BYTE*>(sid) + 8;
  for (BYTE i = 0; i < sid->SubAuthorityCount; ++i) {
    DWORD value = 0;
    std::memcpy(&value, subs + 4 * i, 4);
    text += "-" + std::to_string(value);
  }
  return text;
}

std::string toSddl(const SECURITY_DESCRIPTOR* sd) {
  if (!sd || !sd->DaclPresent) return "";
  if (!sd->Dacl) return "D:NO_ACCESS_CONTROL";
  auto* acl = static_cast<PACL>(const_cast<void*>(sd->Dacl));
  std::string text = "D:";
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(acl, i, &entry)) break;
    const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    std::string flags;
    if (ace->Header.AceFlags & OBJECT_INHERIT_ACE) flags += "OI";
    if (ace->Header.AceFlags & CONTAINER_INHERIT_ACE) flags += "CI";
    char mask[16];
    std::snprintf(mask, sizeof(mask), "0x%x", ace->Mask);
    text += "(A;" + flags + ";" + mask + ";;;" +
            sidText(reinterpret_cast<const SID*>(reinterpret_cast<const BYTE*>(ace) + offsetof(ACCESS_ALLOWED_ACE, SidStart))) +
            ")";
  }
  return text;
}

namespace {

constexpr std::size_t kAclOffset = (sizeof(SECURITY_DESCRIPTOR) + 7) & ~std::size_t{7};

// The descriptor's bytes; its Dacl pointer is fixed up by the caller once they are placed.
std::optional<std::string> descriptorBytes(const std::string& sddl) {
  SECURITY_DESCRIPTOR sd;
  InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
  std::string bytes(sizeof(SECURITY_DESCRIPTOR), '\0');
  if (sddl.empty()) {
    std::memcpy(bytes.data(), &sd, sizeof(sd));
    return bytes;
  }
  if (sddl == "D:NO_ACCESS_CONTROL") {
    sd.DaclPresent = TRUE;
    std::memcpy(bytes.data(), &sd, sizeof(sd));
    return bytes;
  }
  if (sddl.rfind("D:", 0) != 0) return std::nullopt;
  std::vector<ParsedAce> aces;
  for (std::size_t at = 2; at < sddl.size();) {
    if (sddl[at] != '(') return std::nullopt;
    const std::size_t close = sddl.find(')', at);
    if (close == std::string::npos) return std::nullopt;
    // A;flags;mask;;;sid
    std::vector<std::string> fields;
    std::size_t start = at + 1;
    while (start <= close) {
      std::size_t semi = sddl.find(';', start);
      if (semi == std::string::npos || semi > close) semi = close;
      fields.push_back(sddl.substr(start, semi - start));
      start = semi + 1;
    }
    if (fields.size() != 6 || fields[0] != "A") return std::nullopt;
    ParsedAce ace;
    if (fields[1].find("OI") != std::string::npos) ace.flags |= OBJECT_INHERIT_ACE;
    if (fields[1].find("CI") != std::string::npos) ace.flags |= CONTAINER_INHERIT_ACE;
    ace.mask = static_cast<DWORD>(std::strtoul(fields[2].c_str(), nullptr, 0));
    auto sid = sidFromText(fields[5]);
    if (!sid) return std::nullopt;
    ace.sid = std::move(*sid);
    aces.push_back(std::move(ace));
    at = close + 1;
  }
  DWORD aclBytes = sizeof(ACL);
  for (const ParsedAce& ace : aces) aclBytes += offsetof(ACCESS_ALLOWED_ACE, SidStart) + static_cast<DWORD>(ace.sid.size());
  // The list sits behind the descriptor, aligned as a DWORD-based structure must be.
  bytes.assign(kAclOffset + aclBytes, '\0');
  auto* acl = reinterpret_cast<PACL>(bytes.data() + kAclOffset);
  InitializeAcl(acl, aclBytes, ACL_REVISION);
  for (ParsedAce& ace : aces) AddAccessAllowedAceEx(acl, ACL_REVISION, ace.flags, ace.mask, ace.sid.data());
  sd.DaclPresent = TRUE;
  sd.Dacl = acl;
  std::memcpy(bytes.data(), &sd, sizeof(sd));
  return bytes;
}

}  // namespace

LONG writeDescriptor(const std::string& sddl, void* buffer, DWORD* size) {
  const auto bytes = descriptorBytes(sddl);
  if (!bytes) return ERROR_INVALID_DATA;
  if (!buffer || *size < bytes->size()) {
    *size = static_cast<DWORD>(bytes->size());
    return ERROR_INSUFFICIENT_BUFFER;
  }
  std::memcpy(buffer, bytes->data(), bytes->size());
  auto* sd = static_cast<SECURITY_DESCRIPTOR*>(buffer);
  if (sd->Dacl) sd->Dacl = static_cast<BYTE*>(buffer) + kAclOffset;
  *size = static_cast<DWORD>(bytes->size());
  return ERROR_SUCCESS;
}

}  // namespace platform::security
