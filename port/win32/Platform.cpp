#include "port/Platform.h"

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "port/SystemError.h"
#include "port/win32/FileSecurity.h"
#include "port/win32/Win32Error.h"

namespace kestrun {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The length of the root of `path`: "C:\\", "C:", "\\" or 0 (relative).
std::size_t RootLength(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
  return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

// A C runtime descriptor for `handle`, which it then owns; -errno on failure.
int DescriptorFor(HANDLE handle, int flags) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) {
    CloseHandle(handle);
    return -EMFILE;
  }
  return fd;
}

}  // namespace

const int kOpenBinary = O_BINARY;
const char* const kNewFileLineEnd = "\r\n";

std::string FolderOfPath(const std::string& path) {
  const std::size_t root = RootLength(path);
  std::size_t end = path.size();
  while (end > root && !IsSeparator(path[end - 1])) --end;
  if (end == 0) return ".";
  if (end <= root) return path.substr(0, root);
  return path.substr(0, end - 1);
}

std::string NameOfPath(const std::string& path) {
  std::size_t start = path.size();
  while (start > RootLength(path) && !IsSeparator(path[start - 1])) --start;
  return path.substr(start);
}

// The C runtime's stat takes ANSI names and gives every file one link; the
// handle's own information has both right.
int StatPath(const std::string& path, struct stat& st) {
  st = {};
  const HANDLE file = CreateFileW(Widen(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ErrnoForFileError(GetLastError());
  const DWORD type = GetFileType(file);
  BY_HANDLE_FILE_INFORMATION info{};
  int error = 0;
  if (type == FILE_TYPE_CHAR) {
    st.st_mode = S_IFCHR | S_IREAD | S_IWRITE;
  } else if (type == FILE_TYPE_PIPE) {
    st.st_mode = S_IFIFO | S_IREAD | S_IWRITE;
  } else if (!GetFileInformationByHandle(file, &info)) {
    error = ErrnoForFileError(GetLastError());
  } else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    // A folder's read-only attribute only marks it as customised.
    st.st_mode = S_IFDIR | S_IREAD | S_IWRITE | S_IEXEC;
    st.st_nlink = 1;
  } else {
    st.st_mode = S_IFREG | S_IREAD | ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0 : S_IWRITE);
    st.st_nlink = static_cast<decltype(st.st_nlink)>(info.nNumberOfLinks);
    const unsigned long long size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    st.st_size = static_cast<decltype(st.st_size)>(size > LONG_MAX ? LONG_MAX : size);
  }
  CloseHandle(file);
  return error;
}

int RemoveFile(const std::string& path) {
  return DeleteFileW(Widen(path).c_str()) ? 0 : ErrnoForFileError(GetLastError());
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileExW(Widen(folder + "\\*").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = Narrow(found.cFileName);
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

int OpenForReading(const std::string& path, bool noFollow) {
  const HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | (noFollow ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
  if (file == INVALID_HANDLE_VALUE) return -ErrnoForFileError(GetLastError());
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (noFollow && GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) &&
      (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkReparseTag(tag.ReparseTag)) {
    CloseHandle(file);
    return -ELOOP;
  }
  return DescriptorFor(file, _O_RDONLY);
}

int CreatePrivateForWriting(const std::string& path) {
  const std::wstring wide = Widen(path);
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE | READ_CONTROL | WRITE_DAC, FILE_SHARE_READ, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -ErrnoForFileError(GetLastError());
  if (const int error = KeepToUser(file, false)) {
    CloseHandle(file);
    DeleteFileW(wide.c_str());
    return -error;
  }
  return DescriptorFor(file, _O_WRONLY);
}

int OpenForAppending(const std::string& path) {
  const HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE | READ_CONTROL | WRITE_DAC,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -ErrnoForFileError(GetLastError());
  const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  const bool link = GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) &&
                    (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkReparseTag(tag.ReparseTag);
  const int error = link ? ELOOP : created ? KeepToUser(file, false) : 0;
  if (error) {
    CloseHandle(file);
    // A file made here that could not be kept to the user goes again: the
    // next open would find it and write into it as it is.
    if (created) DeleteFileW(Widen(path).c_str());
    return -error;
  }
  return DescriptorFor(file, _O_WRONLY | _O_APPEND);
}

// The access list, not a mode, says who may read a file on Windows.
std::string SecretFileRefusal(int fd, const std::string& path) {
  const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (file == INVALID_HANDLE_VALUE) return SystemReason(EBADF);
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return "not a regular file";
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error =
      GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) return SystemReason(ErrnoForFileError(error));
  const char* group = SharedGroupGranted(dacl, dacl == nullptr, FILE_READ_DATA);
  LocalFree(descriptor);
  if (!group) return "";
  return std::string("other users may open it (its access list lets ") + group +
         " read it); make it yours alone: icacls \"" + path + "\" /inheritance:r /grant:r \"%USERNAME%:F\"";
}

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

// The temporary file was made the user's alone (CreatePrivateForWriting); a
// file it replaces passes its access list on (ReplaceFileWith), and the
// read-only attribute, all of the mode Windows keeps, refuses a replace.
int KeepOwnerAndMode(int, const struct stat*, std::string&) { return 0; }

int FlushFileToDisk(int fd) {
  const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (file == INVALID_HANDLE_VALUE) return EBADF;
  return FlushFileBuffers(file) ? 0 : ErrnoForFileError(GetLastError());
}

// ReplaceFileW keeps the replaced file's access list, attributes and creation
// time, as the user set them; a new target (or one gone since it was
// checked) is moved into place, written through.
int ReplaceFileWith(const std::string& temporary, const std::string& target) {
  const std::wstring from = Widen(temporary), to = Widen(target);
  if (GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES) {
    if (ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
      return 0;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) return ErrnoForFileError(error);
  }
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  return ErrnoForFileError(GetLastError());
}

// An unprivileged process cannot flush a folder on Windows; the rename is in
// the file system's journal once ReplaceFileW or MoveFileExW return.
int FlushFolder(const std::string&, std::string&) { return 0; }

int MakePrivateFolder(const std::string& folder) {
  const std::wstring wide = Widen(folder);
  if (!CreateDirectoryW(wide.c_str(), nullptr))
    return GetLastError() == ERROR_ALREADY_EXISTS ? EEXIST : ErrnoForFileError(GetLastError());
  const HANDLE handle = CreateFileW(wide.c_str(), READ_CONTROL | WRITE_DAC, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const int error = ErrnoForFileError(GetLastError());
    RemoveDirectoryW(wide.c_str());
    return error;
  }
  const int error = KeepToUser(handle, true);
  CloseHandle(handle);
  // A folder made here that could not be kept to the user goes again, so
  // that the next call does not take it as the private folder it is not.
  if (error) RemoveDirectoryW(wide.c_str());
  return error;
}

int CreatePrivateFile(const std::string& path) {
  const HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE | READ_CONTROL | WRITE_DAC,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ErrnoForFileError(GetLastError());
  const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  const bool link = GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) &&
                    (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkReparseTag(tag.ReparseTag);
  const int error = link ? ELOOP : created ? KeepToUser(file, false) : 0;
  CloseHandle(file);
  if (error && created) DeleteFileW(Widen(path).c_str());
  return error;
}

std::vector<std::string> ProgramArguments(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide && i < count; ++i) args.push_back(Narrow(wide[i]));
  LocalFree(wide);
  return args;
}

std::optional<std::string> EnvironmentValue(const char* name) {
  const wchar_t* value = _wgetenv(Widen(name).c_str());
  return value ? std::optional<std::string>(Narrow(value)) : std::nullopt;
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

std::string CurrentFolder() {
  std::wstring folder(GetCurrentDirectoryW(0, nullptr), L'\0');
  const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
  if (length == 0 || length >= folder.size()) return {};
  folder.resize(length);
  return Narrow(folder);
}

std::string DataFolder() {
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  return local && *local ? Narrow(local) + "\\RV450 Kestrun" : "";
}

}  // namespace kestrun
