#include "link/TrafficLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>

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

void CTrafficLog::Log(const std::string& text, Direction direction) {
  if (path_.empty()) return;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const int fd = ::open(Path().c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  {
    // Held exclusively only for the one write; a log held by someone else loses the line.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      const std::string line = FormatLogLine(local, direction, text);
      std::size_t written = 0;
      while (written < line.size()) {
        const ssize_t n = ::write(fd, line.data() + written, line.size() - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
      }
    }
    ::close(fd);
  }
}

}  // namespace kestrun
