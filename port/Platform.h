// What the file layer needs from the operating system beyond the C runtime:
// process ids, access checks, the owner and mode a replaced file keeps, the
// crash-safe replace and flushes. One implementation per system
// (port/posix/Platform.cpp, port/win32/Platform.cpp); every function reports
// a failure as an errno value, read through SystemReason.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kestrun {

// The line end of a text file this program creates: CR LF on Windows, as the
// original tool wrote its files, LF on Linux. A file that exists keeps its own.
extern const char* const kNewFileLineEnd;

// Where a path's last name starts and what its folder is ("/" on Linux; "\"
// and "/" on Windows, where "C:\" is a folder of its own); "." for a bare name.
std::string FolderOfPath(const std::string& path);
std::string NameOfPath(const std::string& path);

// The file calls the settings files and the password file make, with UTF-8
// paths (UTF-16 at the Windows API, never the ANSI code page). Each gives 0 or
// an errno value (the descriptor, or -errno, for the opens).
int StatPath(const std::string& path, struct stat& st);
int RemoveFile(const std::string& path);
// The names in `folder` ("." and ".." left out); empty when it cannot be read.
std::vector<std::string> FolderNames(const std::string& folder);
// 0 when `path` is a folder this user may create files in; ENOTDIR when it
// is something else, else the errno value of the check that failed.
int WritableFolderError(const std::string& path);
// Reads the open file `fd` to its end into `text`, or until `text` holds more
// than `most` bytes; 0 or the errno value. The descriptor stays open.
int ReadOpenFile(int fd, std::string& text, std::size_t most);
// Opens an existing file for reading without blocking on a FIFO, as no
// controlling terminal, not inherited, in binary mode; with `noFollow`, a
// symbolic link (a reparse point on Windows) as the last name is refused
// (ELOOP).
int OpenForReading(const std::string& path, bool noFollow);
// Creates `path` for writing, failing when anything is there (EEXIST), never
// through a link, private to the user (0600 on Linux, an access list of the
// user alone on Windows).
int CreatePrivateForWriting(const std::string& path);

// Opens `path` for appending, creating it private to the user when it is
// missing, never through a link as the last name, without blocking on a FIFO.
int OpenForAppending(const std::string& path);

// Why the open file `fd` (at `path`) may not hold a secret such as a password,
// in words, or empty when it may: not a regular file, not the user's own or
// open to other users (Linux: its mode; Windows: its access list lets
// Everyone, Authenticated Users or Users read it). `path` is named in the
// advice how to fix it.
std::string SecretFileRefusal(int fd, const std::string& path);

// The open flag that keeps a file's bytes exactly as read and written (the
// Windows C runtime's binary mode; nothing on Linux).
extern const int kOpenBinary;

// This process's id, and whether the process `pid` is gone (a save that was
// killed left its temporary file).
long CurrentProcessId();
bool ProcessIsGone(long pid);

// The user this process writes files as (the C runtime's st_uid on Windows).
unsigned CurrentUserId();

// Whether the mode in `st` lets nobody write the file.
bool ModeIsReadOnly(const struct stat& st);

// Why `st` is not a regular file, in words.
const char* NotRegularReason(const struct stat& st);

// Whether `path` is a regular file of this user (not a link or reparse point).
bool IsOwnRegularFile(const std::string& path);

// 0 when this user may write the file `path` (or create files in the folder
// `path` when `folder`), else the errno value.
int WriteAccessError(const std::string& path, bool folder);

// Gives the open temporary file `fd` the owner and mode of the file it
// replaces (`old`), or makes it the user's own when there is none. On
// failure, `step` says what failed.
int KeepOwnerAndMode(int fd, const struct stat* old, std::string& step);

// Writes the file's data through to the disk.
int FlushFileToDisk(int fd);

// Puts `temporary` in the place of `target` in one step, durably. On Windows
// an existing target keeps its access list (ReplaceFileW), and a new one is
// written through (MoveFileExW with MOVEFILE_WRITE_THROUGH).
int ReplaceFileWith(const std::string& temporary, const std::string& target);

// Makes a replace in `folder` durable. On failure, `step` says what failed.
int FlushFolder(const std::string& folder, std::string& step);

// Makes the folder `folder` private to the user (0700 on Linux, an access list
// of the user alone on Windows); 0 or the
// errno value (EEXIST when it is there).
int MakePrivateFolder(const std::string& folder);

// Creates `path` private to the user when it is missing, never through a link
// (or reparse point); 0 or the errno value.
int CreatePrivateFile(const std::string& path);

// The working folder of the process (UTF-8; read as UTF-16 on Windows), or
// empty when it cannot be read.
std::string CurrentFolder();

// The program's arguments after its name, as UTF-8: `argv` as it is on
// Linux; on Windows, where `argv` is in the ANSI code page, the UTF-16
// command line's.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The environment variable `name` as UTF-8 (read as UTF-16 on Windows, where
// getenv gives the ANSI code page); nothing when it is not set.
std::optional<std::string> EnvironmentValue(const char* name);

// The machine's name and the user's login name, as journal rows record them.
std::string HostName();
std::string LoginName();

// Where the journal lives by default: $XDG_DATA_HOME/rv450-kestrun (else
// ~/.local/share/rv450-kestrun) on Linux, %LOCALAPPDATA%\RV450 Kestrun on
// Windows; empty when the environment names no such folder.
std::string DataFolder();

}  // namespace kestrun
