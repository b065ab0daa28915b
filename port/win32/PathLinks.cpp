#include "port/PathLinks.h"

#include <aclapi.h>
#include <windows.h>

#include <cerrno>
#include <vector>

#include "port/SystemError.h"
#include "port/win32/FileSecurity.h"
#include "port/win32/Win32Error.h"

namespace kestrun {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The owner and the access list of `path` itself, not of what a link there
// leads to. Null owner when they cannot be read.
struct Security {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error = ERROR_SUCCESS;
  ~Security() { LocalFree(descriptor); }
};

void ReadSecurity(const std::string& path, Security& security, DWORD* reparseTag) {
  const HANDLE handle =
      CreateFileW(Widen(path).c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    security.error = GetLastError();
    return;
  }
  if (reparseTag) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    *reparseTag = GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
                          (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                      ? tag.ReparseTag
                      : 0;
  }
  security.error =
      GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                      &security.owner, nullptr, &security.dacl, nullptr, &security.descriptor);
  CloseHandle(handle);
}

// The path Windows opens for `path` (which exists), every link resolved, in
// the usual form ("C:\\..." or "\\\\server\\share\\..."); empty on failure.
std::string FinalPath(const std::string& path) {
  const HANDLE handle = CreateFileW(Widen(path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return "";
  std::wstring final(32768, L'\0');
  const DWORD size = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                               FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  CloseHandle(handle);
  if (size == 0 || size >= final.size()) return "";
  final.resize(size);
  if (final.rfind(L"\\\\?\\UNC\\", 0) == 0) return "\\\\" + Narrow(final.substr(8));
  if (final.rfind(L"\\\\?\\", 0) == 0) return Narrow(final.substr(4));
  return Narrow(final);
}

}  // namespace

// The Linux rule judges modes and user ids; Windows has neither, and
// ResolvePathLinks judges its reparse points by their owners and access lists.
bool MayFollowLink(mode_t, uid_t, uid_t, uid_t) { return true; }

// Each link on the path is judged as Linux judges a symbolic link: in a folder
// that Everyone, Authenticated Users or Users may add files to (a shared drop
// folder, C:\Users\Public), one that another user may have planted is
// followed only when it is the user's own or the folder owner's. A path with
// links comes back as Windows resolves them, so that the file itself can be
// opened without following one.
ResolvedPath ResolvePathLinks(const std::string& path) {
  if (path.empty()) return PathLinkFailure("looking up the file", SystemReason(ENOENT));
  // The root ("C:\", "\\server\share\", "\") is no link of ours to judge.
  std::size_t start = 0;
  if (path.size() >= 2 && path[1] == ':') {
    start = 2;
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    int separators = 0;
    for (start = 2; start < path.size() && separators < 2; ++start)
      if (IsSeparator(path[start])) ++separators;
  }
  const std::vector<unsigned char> user = UserSid();
  int links = 0;
  std::size_t existing = 0;  // the length of the part of the path that exists
  while (start < path.size()) {
    while (start < path.size() && IsSeparator(path[start])) ++start;
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (end == start) break;
    const std::string candidate = path.substr(0, end);
    const std::string folder = start == 0 ? "." : path.substr(0, start);
    start = end;
    const DWORD attributes = GetFileAttributesW(Widen(candidate).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) break;  // the rest is to be made
      return PathLinkFailure("looking up " + candidate, SystemReason(ErrnoForFileError(error)));
    }
    existing = end;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    Security link;
    DWORD tag = 0;
    ReadSecurity(candidate, link, &tag);
    if (link.error != ERROR_SUCCESS)
      return PathLinkFailure("reading the symbolic link " + candidate,
                             SystemReason(ErrnoForFileError(link.error)));
    if (!IsLinkReparseTag(tag)) continue;
    if (++links > kMaxPathLinks) return PathLinkFailure("following its symbolic links", SystemReason(ELOOP));
    Security shared;
    ReadSecurity(folder, shared, nullptr);
    if (shared.error != ERROR_SUCCESS)
      return PathLinkFailure("looking up the folder " + folder,
                             SystemReason(ErrnoForFileError(shared.error)));
    const bool anyoneMayAdd =
        SharedGroupGranted(shared.dacl, shared.dacl == nullptr, FILE_ADD_FILE) != nullptr;
    const bool own =
        !user.empty() && link.owner && EqualSid(link.owner, const_cast<unsigned char*>(user.data()));
    const bool folderOwners = link.owner && shared.owner && EqualSid(link.owner, shared.owner);
    if (anyoneMayAdd && !own && !folderOwners) return PlantedLinkRefusal(candidate, SidText(link.owner));
  }
  ResolvedPath result;
  result.path = path;
  if (links > 0 && existing > 0) {
    const std::string resolved = FinalPath(path.substr(0, existing));
    if (resolved.empty()) return PathLinkFailure("following its symbolic links", SystemReason(ENOENT));
    result.path = resolved + path.substr(existing);
  }
  return result;
}

}  // namespace kestrun
