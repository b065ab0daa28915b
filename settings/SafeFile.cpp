#include "settings/SafeFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

#include "port/PathLinks.h"
#include "port/Platform.h"
#include "port/SystemError.h"
#include "protocol/WholeNumber.h"

namespace kestrun {

namespace {

std::atomic<WriteCall> writeCall{nullptr};

// Writes all of `text`, going on after short writes and interruptions.
int WriteAll(int fd, const std::string& text) {
  const WriteCall call = writeCall.load();
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = call ? call(fd, text.data() + done, text.size() - done)
                           : ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return ENOSPC;  // a regular file that takes nothing has no room left
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

std::string RandomPart() {
  static thread_local std::mt19937 engine{std::random_device{}()};
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string part;
  for (int i = 0; i < 6; ++i) part += kLetters[engine() % (sizeof kLetters - 1)];
  return part;
}

// Removes temporary files of earlier replaces of the same file whose process
// is gone (a save that was killed). Files of a live process, or of this one,
// are left alone.
void RemoveStaleTemporaries(const std::string& folder, const std::string& fileName) {
  const std::string prefix = TemporaryNamePrefix(fileName);
  for (const std::string& name : FolderNames(folder)) {
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string rest = name.substr(prefix.size());
    const std::size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string::npos || rest.find_first_not_of("0123456789") != dash) continue;
    const long long pid = ParseWhole(rest.substr(0, dash)).value_or(0);
    if (pid <= 0 || pid == CurrentProcessId() || !ProcessIsGone(pid)) continue;
    const std::string path = folder + "/" + name;
    if (IsOwnRegularFile(path)) RemoveFile(path);
  }
}

}  // namespace

std::string FileResult::Message() const { return ok ? std::string() : path + ": " + step + ": " + reason; }

std::string FileResult::Lines() const { return ok ? std::string() : path + "\n" + step + ": " + reason; }

FileResult FileResult::Failure(std::string path, std::string step, std::string reason) {
  FileResult result;
  result.ok = false;
  result.path = std::move(path);
  result.step = std::move(step);
  result.reason = std::move(reason);
  return result;
}

FileResult FileResult::SystemFailure(std::string path, std::string step, int error) {
  return Failure(std::move(path), std::move(step), SystemReason(error));
}

std::string TemporaryNamePrefix(const std::string& fileName) { return "." + fileName + ".tmp-"; }

void SetWriteCallForTests(WriteCall call) { writeCall = call; }

FileResult ReadSettingsFile(const std::string& path, std::string& text, bool& exists) {
  text.clear();
  exists = false;
  if (path.empty()) return FileResult::Failure(path, "reading", "no file name");
  // Judge the file before opening it: opening a FIFO or a device can block or
  // have effects of its own.
  struct stat st;
  if (const int error = StatPath(path, st)) {
    if (error == ENOENT) return {};
    return FileResult::SystemFailure(path, "reading", error);
  }
  exists = true;
  if (!S_ISREG(st.st_mode)) return FileResult::Failure(path, "reading", NotRegularReason(st));
  const std::string tooLarge = "it is larger than " + std::to_string(kMaxSettingsFileSize / 1024) +
                               " KB, which no settings file of this tool reaches";
  if (static_cast<std::size_t>(st.st_size) > kMaxSettingsFileSize)
    return FileResult::Failure(path, "reading", tooLarge);

  const int fd = OpenForReading(path, false);
  if (fd < 0) return FileResult::SystemFailure(path, "opening it for reading", -fd);
  // The name may have been replaced by something else since the check above.
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    return FileResult::SystemFailure(path, "reading", error);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return FileResult::Failure(path, "reading", NotRegularReason(st));
  }
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      text.clear();
      return FileResult::SystemFailure(path, "reading", error);
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > kMaxSettingsFileSize) {  // it grew while being read
      ::close(fd);
      text.clear();
      return FileResult::Failure(path, "reading", tooLarge);
    }
  }
  ::close(fd);
  return {};
}

namespace {

// What a replace learned while checking that it may go ahead.
struct ReplaceTarget {
  std::string path;  // the file itself, every link resolved
  std::string folder;
  bool exists = false;
  struct stat st {};
};

FileResult CheckTarget(const std::string& path, ReplaceTarget& t) {
  if (path.empty()) return FileResult::Failure(path, "saving", "no file name");
  const ResolvedPath resolved = ResolvePathLinks(path);
  if (!resolved.ok) return FileResult::Failure(path, resolved.step, resolved.reason);
  const std::string& target = resolved.path;
  t.path = target;
  struct stat& st = t.st;
  const int targetError = StatPath(target, st);
  if (targetError == 0) {
    t.exists = true;
    if (!S_ISREG(st.st_mode)) return FileResult::Failure(target, "saving", NotRegularReason(st));
    // The kernel's protected_regular rule for O_CREAT, whether or not it is on
    // here, and for root too: in a sticky folder anyone may write to, a file
    // of another user may have been planted to receive what is written (its
    // owner would keep it, with the settings and the secrets in it). The rule
    // is the one for a link there: the user's own or the folder owner's only.
    struct stat folderStat;
    if (const int error = StatPath(FolderOfPath(target), folderStat))
      return FileResult::SystemFailure(target, "looking up the folder " + FolderOfPath(target), error);
    if (!MayFollowLink(folderStat.st_mode, folderStat.st_uid, st.st_uid, CurrentUserId()))
      return FileResult::Failure(target, "saving",
                                 "the file belongs to another user (uid " + std::to_string(st.st_uid) +
                                     ") in a folder anyone may write to, where it may have been planted; "
                                     "such a file is replaced only when it is the user's own or the folder "
                                     "owner's");
    // Judged from the mode, so that a read-only file stays untouched also when
    // the tool runs as root (for whom every access check succeeds).
    if (ModeIsReadOnly(st)) return FileResult::Failure(target, "saving", "the file is read-only");
    if (const int error = WriteAccessError(target, false))
      return FileResult::SystemFailure(target, "saving", error);
    // A rename would leave the other names with the old text; writing in place
    // could leave a half-written file. Neither is acceptable, so refuse.
    if (st.st_nlink > 1)
      return FileResult::Failure(target, "saving",
                                 "the file has " + std::to_string(st.st_nlink) +
                                     " hard links, and replacing it would separate them");
  } else if (targetError != ENOENT) {
    return FileResult::SystemFailure(target, "saving", targetError);
  }

  t.folder = FolderOfPath(target);
  const std::string& folder = t.folder;
  struct stat folderStat;
  if (const int error = StatPath(folder, folderStat))
    return FileResult::SystemFailure(target, "looking up the folder " + folder, error);
  if (ModeIsReadOnly(folderStat))
    return FileResult::Failure(target, "creating a temporary file in " + folder, "the folder is read-only");
  if (const int error = WriteAccessError(folder, true))
    return FileResult::SystemFailure(target, "creating a temporary file in " + folder, error);
  return {};
}

}  // namespace

FileResult CheckSettingsFileReplaceable(const std::string& path) {
  ReplaceTarget target;
  return CheckTarget(path, target);
}

FileResult ReplaceSettingsFile(const std::string& path, const std::string& text) {
  ReplaceTarget checked;
  if (FileResult ok = CheckTarget(path, checked); !ok) return ok;
  const std::string& target = checked.path;
  const std::string& folder = checked.folder;
  const bool exists = checked.exists;
  const struct stat& st = checked.st;

  RemoveStaleTemporaries(folder, NameOfPath(target));
  // The temporary file is private until it has the old file's owner and mode;
  // a new file stays private, whatever the umask (it holds settings and
  // perhaps a password).
  std::string temporary;
  int fd = -EEXIST;
  for (int attempt = 0; attempt < 100 && fd == -EEXIST; ++attempt) {
    temporary = folder + "/" + TemporaryNamePrefix(NameOfPath(target)) + std::to_string(CurrentProcessId()) +
                "-" + RandomPart();
    fd = CreatePrivateForWriting(temporary);
  }
  if (fd < 0) return FileResult::SystemFailure(target, "creating a temporary file in " + folder, -fd);

  auto fail = [&](const std::string& step, int error) {
    ::close(fd);
    RemoveFile(temporary);
    return FileResult::SystemFailure(target, step, error);
  };
  std::string step;
  if (const int error = KeepOwnerAndMode(fd, exists ? &st : nullptr, step)) return fail(step, error);
  if (const int error = WriteAll(fd, text)) return fail("writing the temporary file", error);
  if (const int error = FlushFileToDisk(fd)) return fail("flushing the temporary file to disk", error);
  if (::close(fd) != 0) {
    const int error = errno;
    RemoveFile(temporary);
    return FileResult::SystemFailure(target, "closing the temporary file", error);
  }
  if (const int error = ReplaceFileWith(temporary, target)) {
    RemoveFile(temporary);
    return FileResult::SystemFailure(target, "renaming the temporary file over it", error);
  }
  if (const int error = FlushFolder(folder, step)) return FileResult::SystemFailure(target, step, error);
  return {};
}

}  // namespace kestrun
