#include "port/ComPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace kestrun {

struct CComPort::SavedLine {
  termios line{};
};

void CComPort::DropSavedLine::operator()(SavedLine* line) const { delete line; }

namespace {

speed_t SpeedFor(int baud) {
  switch (baud) {
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return 0;
  }
}

}  // namespace

int CComPort::OpenDevice(const std::string& path, PortHandle& handle) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  // Exclusive: the advisory lock keeps out other well-behaved programs (and
  // root, which TIOCEXCL does not stop); TIOCEXCL keeps out every later open.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    return error;
  }
  ::ioctl(fd, TIOCEXCL);
  handle = fd;
  return 0;
}

int CComPort::SetUpLine(PortHandle fd, const char*& refused) {
  const auto settingsRefused = [&](int error) {
    ::close(fd);
    refused = "the line settings";
    return error;
  };
  termios tio{};
  const speed_t speed = SpeedFor(settings_.baudRate);
  if (::tcgetattr(fd, &tio) != 0 || speed == 0) return settingsRefused(speed == 0 ? EINVAL : errno);
  savedLine_.reset(new SavedLine{tio});
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) return settingsRefused(errno);
  // DTR and RTS on; a pseudo-terminal has no modem lines and refuses, harmlessly.
  int lines = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(fd, TIOCMBIS, &lines);
  ::tcflush(fd, TCIOFLUSH);
  return 0;
}

void CComPort::Close() {
  if (handle_ < 0) return;
  // The next user of the port finds the line as this one did. Once what was
  // written has gone out, so that none of it leaves at another speed; a
  // device that has gone refuses, harmlessly.
  if (savedLine_) ::tcsetattr(handle_, TCSADRAIN, &savedLine_->line);
  ::close(handle_);  // also releases the advisory lock
  handle_ = -1;
}

PortResult CComPort::Purge() {
  if (handle_ < 0) return PortResult::System(EBADF);
  if (::tcflush(handle_, purgeDiscardsOutput_ ? TCIOFLUSH : TCIFLUSH) != 0) return PortResult::System(errno);
  return PortResult::Ok();
}

PortResult CComPort::WriteBytes(const std::string& bytes) {
  if (handle_ < 0) return PortResult::System(EBADF);
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::write(handle_, bytes.data() + sent, bytes.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd p{handle_, POLLOUT, 0};
      ::poll(&p, 1, 100);
    } else {
      return PortResult::System(n < 0 ? errno : EIO);
    }
  }
  return PortResult::Ok();
}

PortResult CComPort::ReadAvailable(char* into, std::size_t want, std::size_t& got) {
  got = 0;
  const ssize_t n = ::read(handle_, into, want);
  if (n > 0) {
    got = static_cast<std::size_t>(n);
    return PortResult::Ok();
  }
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return PortResult::Ok();
  // A hang-up (the device vanished) reads as 0 bytes or EIO: a failed read.
  return PortResult::System(n < 0 ? errno : EIO);
}

}  // namespace kestrun
