// Helpers shared by the Linux tests: a raw pseudo-terminal pair
// registered as a COM port, and a simulator on its own ports folder.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "TestFiles.h"

namespace kestrun::testing {

// A pseudo-terminal whose slave is linked as com<number> in a ports folder;
// the test plays the device on the master side byte by byte.
class RawPty {
 public:
  RawPty(const std::string& portsDir, int number) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(master_);
    ::unlockpt(master_);
    slave_ = ::ptsname(master_);
    keepAlive_ = ::open(slave_.c_str(), O_RDWR | O_NOCTTY);
    termios tio{};
    ::tcgetattr(keepAlive_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(keepAlive_, TCSANOW, &tio);
    std::filesystem::create_directories(portsDir);
    std::filesystem::create_symlink(slave_, portsDir + "/com" + std::to_string(number));
  }
  ~RawPty() {
    CloseMaster();
    if (keepAlive_ >= 0) ::close(keepAlive_);
  }
  void Write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) done += static_cast<std::size_t>(n);
    }
  }
  // Everything the tool wrote, waiting up to `ms` for the first byte.
  std::string Read(int ms = 1000) {
    std::string text;
    char buffer[512];
    pollfd p{master_, POLLIN, 0};
    while (::poll(&p, 1, text.empty() ? ms : 100) > 0) {
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
    if (keepAlive_ >= 0) ::close(keepAlive_);
    keepAlive_ = -1;
  }

 private:
  int master_ = -1;
  int keepAlive_ = -1;
  std::string slave_;
};

// A sticky, world-writable folder `folder` (as /tmp is) holding a symbolic
// link `name` to `target` that belongs to `owner`: a link another user planted
// there. Needs root (lchown to another user); false otherwise.
inline bool PlantLink(const std::string& folder, const std::string& name, const std::string& target,
                      uid_t owner) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::string link = folder + "/" + name;
  return ::chmod(folder.c_str(), 01777) == 0 && ::symlink(target.c_str(), link.c_str()) == 0 &&
         ::lchown(link.c_str(), owner, static_cast<gid_t>(-1)) == 0;
}

// Another user than this process, to own planted links.
constexpr uid_t kOtherUser = 65534;  // nobody

// Waits until `fd` has at least `bytes` bytes to read: a pseudo-terminal
// hands what was written on one side to the other on a kernel worker, a
// moment after the write. False when they have not come within 10 s.
inline bool WaitForInput(int fd, int bytes) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int ready = 0;
  while (::ioctl(fd, FIONREAD, &ready) == 0 && ready < bytes && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return ready >= bytes;
}

}  // namespace kestrun::testing
