// The file calls of port/Platform.h that are the same on both systems, built
// on the per-system ones (port/posix/Platform.cpp, port/win32/Platform.cpp).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "port/Platform.h"

namespace kestrun {

int WritableFolderError(const std::string& path) {
  struct stat st {};
  if (const int error = StatPath(path, st); error != 0) return error;
  if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  return WriteAccessError(path, true);
}

int ReadOpenFile(int fd, std::string& text, std::size_t most) {
  char buffer[65536];
  while (text.size() <= most) {
    const auto n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return 0;
}

}  // namespace kestrun
