#include "port/win32/FileSecurity.h"

#include <aclapi.h>
#include <sddl.h>

#include <cerrno>

#include "port/win32/Win32Error.h"

namespace kestrun {

int ErrnoForFileError(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_UNABLE_TO_REMOVE_REPLACED: return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME: return ENOENT;
    case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_CANT_RESOLVE_FILENAME: return ELOOP;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    default: return ErrnoForWindowsError(error);
  }
}

std::vector<unsigned char> UserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  std::vector<unsigned char> sid;
  if (size && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    const PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    const auto* bytes = static_cast<const unsigned char*>(user);
    sid.assign(bytes, bytes + GetLengthSid(user));
  }
  CloseHandle(token);
  return sid;
}

std::string SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!sid || !ConvertSidToStringSidW(sid, &text)) return "an unknown account";
  std::string result = Narrow(text);
  LocalFree(text);
  return result;
}

bool IsLinkReparseTag(DWORD tag) { return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT; }

int KeepToUser(HANDLE handle, bool folder) {
  DWORD flags = 0;
  if (GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
      !(flags & FILE_PERSISTENT_ACLS))
    return 0;
  std::vector<unsigned char> sid = UserSid();
  if (sid.empty()) return EACCES;
  const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + static_cast<DWORD>(sid.size());
  std::vector<unsigned char> aclBuffer(aclSize);
  ACL* acl = reinterpret_cast<ACL*>(aclBuffer.data());
  const DWORD inherit = folder ? OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE : 0;
  if (!InitializeAcl(acl, aclSize, ACL_REVISION) ||
      !AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, sid.data()))
    return ErrnoForFileError(GetLastError());
  const DWORD error = SetSecurityInfo(handle, SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                      nullptr, acl, nullptr);
  return error == ERROR_SUCCESS ? 0 : ErrnoForFileError(error);
}

namespace {

// The groups that hold every user of the machine, in the order they are named.
struct SharedGroup {
  WELL_KNOWN_SID_TYPE type;
  const char* name;
};
constexpr SharedGroup kSharedGroups[] = {
    {WinWorldSid, "Everyone"},
    {WinAuthenticatedUserSid, "Authenticated Users"},
    {WinBuiltinUsersSid, "Users"},
};

// The specific file rights that a generic right in an ACE stands for.
ACCESS_MASK Specific(ACCESS_MASK mask) {
  if (mask & GENERIC_ALL) mask |= FILE_ALL_ACCESS;
  if (mask & GENERIC_READ) mask |= FILE_GENERIC_READ;
  if (mask & GENERIC_WRITE) mask |= FILE_GENERIC_WRITE;
  if (mask & GENERIC_EXECUTE) mask |= FILE_GENERIC_EXECUTE;
  return mask;
}

}  // namespace

const char* SharedGroupGranted(const ACL* dacl, bool nullDacl, ACCESS_MASK rights) {
  if (nullDacl || !dacl) return kSharedGroups[0].name;
  constexpr std::size_t kGroups = sizeof kSharedGroups / sizeof kSharedGroups[0];
  unsigned char sids[kGroups][SECURITY_MAX_SID_SIZE];
  for (std::size_t g = 0; g < kGroups; ++g) {
    DWORD size = SECURITY_MAX_SID_SIZE;
    if (!CreateWellKnownSid(kSharedGroups[g].type, nullptr, sids[g], &size)) return kSharedGroups[g].name;
  }
  ACCESS_MASK denied[kGroups] = {};
  // ACEs apply in their order: a right denied before it is granted stays denied.
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(const_cast<ACL*>(dacl), i, &ace)) break;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if (header->AceFlags & INHERIT_ONLY_ACE) continue;
    const bool allow = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
    if (!allow && header->AceType != ACCESS_DENIED_ACE_TYPE) continue;
    // Allowed and denied ACEs share one layout: header, mask, SID.
    auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    const PSID sid = &entry->SidStart;
    for (std::size_t g = 0; g < kGroups; ++g) {
      if (!EqualSid(sid, sids[g])) continue;
      const ACCESS_MASK mask = Specific(entry->Mask);
      if (!allow)
        denied[g] |= mask;
      else if (mask & rights & ~denied[g])
        return kSharedGroups[g].name;
    }
  }
  return nullptr;
}

}  // namespace kestrun
