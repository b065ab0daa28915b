#include "engine/TrafficLog.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "port/PathLinks.h"
#include "port/Platform.h"
#include "port/SystemError.h"

namespace kestrun {

std::string FormatLogLine(const std::tm& local, Direction direction, const std::string& text) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%d-%d-%d; %d:%d:%d %s ", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                direction == Direction::Sent ? "-->" : "<--");
  const std::string raw = stamp + text + "\n";
  std::string line;
  line.reserve(raw.size() + 8);
  for (char c : raw) {
    if (c == '\n') line += '\r';
    line += c;
  }
  return line;
}

std::string TrafficLogPath(const std::string& directory) { return directory + "/AtLog.log"; }

namespace {

constexpr std::chrono::milliseconds kLockWait{1000};

// Takes the exclusive lock on `fd`, waiting up to `bound` for another holder.
// Polls rather than blocks, so that the wait has an end without signals.
bool LockWithin(int fd, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Writes all of `line`; 0 or the reason (errno) it could not.
int WriteAll(int fd, const std::string& line) {
  std::size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(fd, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return ENOSPC;  // a file that takes nothing has no room left
    written += static_cast<std::size_t>(n);
  }
  return 0;
}

}  // namespace

int OpenTrafficLog(const std::string& path, std::string& why) {
  const ResolvedPath resolved = ResolvePathLinks(path);
  if (!resolved.ok) {
    why = path + ": " + resolved.step + ": " + resolved.reason;
    return -1;
  }
  // The resolved path holds no link; one put there since is not followed.
  // Non-blocking, so that a FIFO put in its place cannot hang the exchange.
  const int fd = OpenForAppending(resolved.path);
  if (fd >= 0) return fd;
  why = path + ": opening it: " + SystemReason(-fd);
  return -1;
}

std::string CheckTrafficLog(const std::string& path) {
  std::string why;
  const int fd = OpenTrafficLog(path, why);
  if (fd < 0) return why;
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return regular ? std::string() : path + ": it is not a regular file";
}

void CTrafficLog::Log(const std::string& text, Direction direction) {
  if (path_.empty()) return;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::string why;
  const int fd = OpenTrafficLog(path_, why);
  if (fd < 0) {
    Fail(why);
    return;
  }
  // Held exclusively only for the one write, so that lines of two instances
  // never mix. Another instance holds it just as briefly: wait for it. After
  // the bound (a holder that is stuck) the line is written all the same;
  // O_APPEND still puts it at the end.
  LockWithin(fd, kLockWait);
  if (const int error = WriteAll(fd, FormatLogLine(local, direction, text)))
    Fail(path_ + ": writing: " + SystemReason(error));
  ::close(fd);
}

}  // namespace kestrun
