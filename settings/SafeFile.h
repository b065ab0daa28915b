// Reading and replacing whole settings files. A read takes only a regular file
// of bounded size, in one go. A replace never leaves a half-written file: the
// new text goes into a temporary file in the same folder, is flushed to disk
// and renamed over the old one, and the folder is flushed. Every failure names
// the file, the step and the system's reason.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace kestrun {

// No settings file of this tool comes near this size; anything larger is not
// one of ours and is refused rather than read into memory.
constexpr std::size_t kMaxSettingsFileSize = 1024 * 1024;

struct FileResult {
  bool ok = true;
  std::string path;    // the file concerned
  std::string step;    // what was being done, e.g. "writing the temporary file"
  std::string reason;  // the system's reason, or why the file was refused

  explicit operator bool() const { return ok; }
  // "<path>: <step>: <reason>", one line, for a log or standard error.
  std::string Message() const;
  // The file on the first line, "<step>: <reason>" on the second (popups).
  std::string Lines() const;

  static FileResult Failure(std::string path, std::string step, std::string reason);
  // A failure whose reason is the text of the system error `error`.
  static FileResult SystemFailure(std::string path, std::string step, int error);
};

// Reads the whole file at `path` into `text`. A missing file is no failure:
// `exists` is false and `text` empty. Anything but a regular file (a folder,
// a FIFO, a device) and any file over kMaxSettingsFileSize is refused.
FileResult ReadSettingsFile(const std::string& path, std::string& text, bool& exists);

// Replaces the file at `path` with `text` in one step. Symbolic links are
// followed (ResolvePathLinks: not one planted by another user in a shared
// folder) and the target replaced. A new file is made 0600 (owner only),
// whatever the umask. An existing target keeps its mode (its owner may have
// shared it on purpose), and its owner and group when this process runs as
// root. Refused without writing anything: a target that is not a regular
// file, one of another user in a sticky folder anyone may write to unless the
// folder is that user's (the kernel's protected_regular rule, also for
// root), one whose mode has no write bit (also for root), one the process may
// not write, one with more than one hard link (a rename would separate the
// links), and a folder whose mode has no write bit. Temporary files that a killed save left beside the target
// (their process is gone) are removed before the new one is written, so at
// most one is ever left behind.
FileResult ReplaceSettingsFile(const std::string& path, const std::string& text);

// Every check ReplaceSettingsFile makes before it writes, without writing:
// whether a replace of `path` would be refused, and why.
FileResult CheckSettingsFileReplaceable(const std::string& path);

// The name prefix of the temporary files of a replace of `path` (in its
// folder): "." + file name + ".tmp-". The process id and a random part follow.
std::string TemporaryNamePrefix(const std::string& fileName);

// Test seam: the call that writes the temporary file (null restores ::write),
// so that a full disk or a failing device can be played.
using WriteCall = ssize_t (*)(int fd, const void* data, std::size_t size);
void SetWriteCallForTests(WriteCall call);

}  // namespace kestrun
