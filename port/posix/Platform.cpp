#include "port/Platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "port/SystemError.h"

namespace kestrun {

const int kOpenBinary = 0;
const char* const kNewFileLineEnd = "\n";

std::string FolderOfPath(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOfPath(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int StatPath(const std::string& path, struct stat& st) { return ::stat(path.c_str(), &st) == 0 ? 0 : errno; }

int RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

int OpenForReading(const std::string& path, bool noFollow) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (noFollow ? O_NOFOLLOW : 0));
  return fd >= 0 ? fd : -errno;
}

int CreatePrivateForWriting(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
  return fd >= 0 ? fd : -errno;
}

int OpenForAppending(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK,
                        S_IRUSR | S_IWUSR);
  return fd >= 0 ? fd : -errno;
}

// As ssh judges a key file: the user's own, and no access for the group or
// other users.
std::string SecretFileRefusal(int fd, const std::string& path) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return SystemReason(errno);
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  if (st.st_uid != ::geteuid())
    return "belongs to another user (uid " + std::to_string(st.st_uid) + "); it must be yours";
  if ((st.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return std::string("other users may open it (mode ") + mode + "); make it yours alone: chmod 600 " + path;
  }
  return "";
}

long CurrentProcessId() { return static_cast<long>(::getpid()); }

bool ProcessIsGone(long pid) { return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

unsigned CurrentUserId() { return ::geteuid(); }

bool ModeIsReadOnly(const struct stat& st) { return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

const char* NotRegularReason(const struct stat& st) {
  const mode_t mode = st.st_mode;
  if (S_ISDIR(mode)) return "it is a folder, not a regular file";
  if (S_ISFIFO(mode)) return "it is a FIFO, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
  if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
  return "it is not a regular file";
}

bool IsOwnRegularFile(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

int WriteAccessError(const std::string& path, bool folder) {
  return ::faccessat(AT_FDCWD, path.c_str(), folder ? W_OK | X_OK : W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

int KeepOwnerAndMode(int fd, const struct stat* old, std::string& step) {
  if (old) {
    if (::geteuid() == 0) {
      if (::fchown(fd, old->st_uid, old->st_gid) != 0) {
        step = "giving the temporary file its owner";
        return errno;
      }
    } else if (old->st_gid != ::getegid()) {
      // Keep the group where this user may; otherwise the file takes the user's.
      [[maybe_unused]] const int ignored = ::fchown(fd, static_cast<uid_t>(-1), old->st_gid);
    }
  }
  if (::fchmod(fd, old ? old->st_mode & 07777 : S_IRUSR | S_IWUSR) != 0) {
    step = "giving the temporary file its mode";
    return errno;
  }
  return 0;
}

int FlushFileToDisk(int fd) { return ::fsync(fd) == 0 ? 0 : errno; }

int ReplaceFileWith(const std::string& temporary, const std::string& target) {
  return std::rename(temporary.c_str(), target.c_str()) == 0 ? 0 : errno;
}

int FlushFolder(const std::string& folder, std::string& step) {
  // The rename is durable only once the folder is on disk.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd < 0) {
    step = "opening its folder to flush it (the file was replaced)";
    return errno;
  }
  const int flushed = ::fsync(folderFd);
  const int flushError = errno;
  ::close(folderFd);
  // Some file systems cannot flush a folder at all; that is no failure of ours.
  if (flushed != 0 && flushError != EINVAL && flushError != ENOTSUP) {
    step = "flushing its folder to disk (the file was replaced)";
    return flushError;
  }
  return 0;
}

int MakePrivateFolder(const std::string& folder) { return ::mkdir(folder.c_str(), S_IRWXU) == 0 ? 0 : errno; }

int CreatePrivateFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
  if (fd < 0) return errno;
  ::close(fd);
  return 0;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

std::optional<std::string> EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

std::string HostName() {
  char name[256] = {};
  return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
}

std::string LoginName() {
  passwd account{};
  passwd* found = nullptr;
  std::vector<char> buffer(4096);
  if (::getpwuid_r(::geteuid(), &account, buffer.data(), buffer.size(), &found) == 0 && found)
    return found->pw_name;
  const char* user = std::getenv("USER");
  return user ? user : std::to_string(::geteuid());
}

std::string CurrentFolder() {
  std::vector<char> folder(4096);
  while (::getcwd(folder.data(), folder.size()) == nullptr) {
    if (errno != ERANGE) return {};
    folder.resize(folder.size() * 2);
  }
  return folder.data();
}

std::string DataFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && *data == '/') return std::string(data) + "/rv450-kestrun";
  const char* home = std::getenv("HOME");
  if (home && *home) return std::string(home) + "/.local/share/rv450-kestrun";
  return "";
}

}  // namespace kestrun
