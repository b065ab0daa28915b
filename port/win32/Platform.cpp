#include "port/Platform.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>

#include "port/win32/Win32Error.h"

namespace kestrun {

namespace {

int ErrnoForFileError(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_WRITE_PROTECT: return EROFS;
    default: return ErrnoForWindowsError(error);
  }
}

}  // namespace

const int kOpenBinary = O_BINARY;

long CurrentProcessId() { return static_cast<long>(GetCurrentProcessId()); }

bool ProcessIsGone(long pid) {
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;  // no process has that id
  const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
}

unsigned CurrentUserId() { return 0; }

bool ModeIsReadOnly(const struct stat& st) { return (st.st_mode & S_IWRITE) == 0; }

const char* NotRegularReason(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return "it is a folder, not a regular file";
  if (S_ISFIFO(st.st_mode)) return "it is a FIFO, not a regular file";
  if (S_ISCHR(st.st_mode)) return "it is a device, not a regular file";
  return "it is not a regular file";
}

// A reparse point (a symbolic link or junction) is refused where Linux
// refuses a link; the files this process writes are its user's.
bool IsOwnRegularFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) ==
             0;
}

int WriteAccessError(const std::string& path, bool folder) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return ErrnoForFileError(GetLastError());
  if (!folder && (attributes & FILE_ATTRIBUTE_READONLY)) return EACCES;
  return 0;
}

// A new file in the user's folders is the user's; the read-only attribute is
// all of the mode Windows keeps in a file.
int KeepOwnerAndMode(int, const struct stat*, std::string&) { return 0; }

int FlushFileToDisk(int fd) {
  const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (file == INVALID_HANDLE_VALUE) return EBADF;
  return FlushFileBuffers(file) ? 0 : ErrnoForFileError(GetLastError());
}

int ReplaceFileWith(const std::string& temporary, const std::string& target) {
  if (MoveFileExW(Widen(temporary).c_str(), Widen(target).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 0;
  return ErrnoForFileError(GetLastError());
}

// MOVEFILE_WRITE_THROUGH returns only once the move is on disk.
int FlushFolder(const std::string&, std::string&) { return 0; }

int MakePrivateFolder(const std::string& folder) {
  if (CreateDirectoryW(Widen(folder).c_str(), nullptr)) return 0;
  return GetLastError() == ERROR_ALREADY_EXISTS ? EEXIST : ErrnoForFileError(GetLastError());
}

int CreatePrivateFile(const std::string& path) {
  const HANDLE file =
      CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ErrnoForFileError(GetLastError());
  FILE_ATTRIBUTE_TAG_INFO tag{};
  const bool reparse = GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) &&
                       (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  CloseHandle(file);
  return reparse ? ELOOP : 0;
}

std::string HostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(name, &size) ? Narrow(std::wstring(name, size)) : "";
}

std::string LoginName() {
  wchar_t name[257] = {};
  DWORD size = 257;
  return GetUserNameW(name, &size) && size > 0 ? Narrow(std::wstring(name, size - 1)) : "";
}

std::string DataFolder() {
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  return local && *local ? Narrow(local) + "\\RV450 Kestrun" : "";
}

}  // namespace kestrun
