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

CComPort::~CComPort() { Close(); }

bool CComPort::Fail(const std::string& error, int systemError) {
  lastError = error;
  lastSystemError = systemError;
  return false;
}

bool CComPort::Open() {
  if (isOpen) return true;
  devicePath_ = OpenPathForPort(portNumber, discovery);
  auto openFailed = [&](int error) {
    openFailureReason_ = DescribeOpenFailure(devicePath_, error, systemRoots);
    return Fail("Open Comm Fail!", error);
  };
  if (devicePath_.empty()) return openFailed(ENOENT);
  const int fd = ::open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return openFailed(errno);
  // Exclusive: the advisory lock keeps out other well-behaved programs (and
  // root, which TIOCEXCL does not stop); TIOCEXCL keeps out every later open.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    return openFailed(error);
  }
  ::ioctl(fd, TIOCEXCL);

  termios tio{};
  const speed_t speed = SpeedFor(baudRate);
  if (::tcgetattr(fd, &tio) != 0 || speed == 0) {
    const int error = speed == 0 ? EINVAL : errno;
    ::close(fd);
    openFailureReason_ = devicePath_ + ": the line settings were refused";
    return Fail("Could not setup COMM port", error);
  }
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    const int error = errno;
    ::close(fd);
    openFailureReason_ = devicePath_ + ": the line settings were refused";
    return Fail("Could not setup COMM port", error);
  }
  // DTR and RTS on; a pseudo-terminal has no modem lines and refuses, harmlessly.
  int lines = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(fd, TIOCMBIS, &lines);
  ::tcflush(fd, TCIOFLUSH);
  handle = fd;
  isOpen = true;
  openFailureReason_.clear();
  return true;
}

void CComPort::Close() {
  if (isOpen && handle >= 0) {
    ::close(handle);  // also releases the advisory lock
    handle = -1;
    isOpen = false;
  }
}

bool CComPort::Purge() {
  if (handle < 0) return Fail("PurgeComm Error=" + std::to_string(EBADF), EBADF);
  if (::tcflush(handle, purgeDiscardsOutput ? TCIOFLUSH : TCIFLUSH) != 0)
    return Fail("PurgeComm Error=" + std::to_string(errno), errno);
  return true;
}

bool CComPort::WriteLine(const std::string& text, bool purgeFirst) {
  if (handle < 0) return Fail("WriteFile Error=" + std::to_string(EBADF), EBADF);
  if (purgeFirst) ::tcflush(handle, purgeDiscardsOutput ? TCIOFLUSH : TCIFLUSH);
  if (text.size() > kMaxLine)
    return Fail("WriteFile Error=" + std::to_string(E2BIG) + " (line longer than 254 characters)", E2BIG);
  const std::string line = text + '\r';
  std::size_t sent = 0;
  while (sent < line.size()) {
    const ssize_t n = ::write(handle, line.data() + sent, line.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd p{handle, POLLOUT, 0};
      ::poll(&p, 1, 100);
    } else {
      const int error = n < 0 ? errno : EIO;
      return Fail("WriteFile Error=" + std::to_string(error), error);
    }
  }
  return true;
}

bool CComPort::ReadReply(std::string& buffer, std::size_t maxBytes, const ReplyComplete& complete,
                         Ms timeout) {
  buffer.clear();
  if (handle < 0) return Fail("ReadFile Error=" + std::to_string(EBADF), EBADF);
  const auto deadline = clock->Now() + timeout;
  char chunk[512];
  while (buffer.size() < maxBytes && !(complete && !buffer.empty() && complete(buffer))) {
    const auto left = std::chrono::duration_cast<Ms>(deadline - clock->Now());
    if (left <= Ms(0)) break;
    const int ready = clock->WaitReadable(handle, left);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    const std::size_t want = std::min(sizeof chunk, maxBytes - buffer.size());
    const ssize_t n = ::read(handle, chunk, want);
    if (n > 0) {
      buffer.append(chunk, static_cast<std::size_t>(n));
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      continue;
    } else {
      // A hang-up (the device vanished) reads as 0 bytes or EIO: a failed read.
      const int error = n < 0 ? errno : EIO;
      return Fail("ReadFile Error=" + std::to_string(error), error);
    }
  }
  return true;
}

bool CComPort::SendAndRead(const std::string& text, std::string& buffer, std::size_t maxBytes,
                           const ReplyComplete& complete) {
  if (!WriteLine(text)) return false;
  return ReadReply(buffer, maxBytes, complete);
}

bool CComPort::SendAndWaitFor(const std::string& text, const std::string& token, std::string& buffer,
                              std::size_t maxBytes, int polls, Ms pause, bool endOnToken, bool purgeFirst,
                              const ReplyComplete& done) {
  buffer.clear();
  if (!WriteLine(text, purgeFirst)) return false;
  // The token is looked for in each poll's read on its own; `done` looks at
  // all that was read. `buffer` keeps every read, for the caller and the log.
  const auto found = [&](const std::string& part, const std::string& all) {
    return done ? done(all) : part.find(token) != std::string::npos;
  };
  std::string part;
  for (int i = 0; i < polls; ++i) {
    bool readOk = true;
    if (endOnToken) {
      readOk = ReadReply(
          part, maxBytes, [&](const std::string& more) { return found(more, buffer + more); },
          pause + Ms(kReadTimeoutMs));
    } else {
      clock->SleepFor(pause);
      readOk = ReadReply(part, maxBytes);
    }
    buffer += part;
    if (!readOk) return false;
    if (found(part, buffer)) return true;
  }
  return false;
}

bool CComPort::ReadUntilQuietFor(std::string& text, Ms quiet, Ms limit, const ReplyComplete& complete) {
  const auto end = clock->Now() + limit;
  std::string chunk;
  for (;;) {
    if (complete && complete(text)) return true;
    const auto left = std::chrono::duration_cast<Ms>(end - clock->Now());
    if (left <= Ms(0)) return true;
    if (!ReadReply(
            chunk, 512, [](const std::string&) { return true; }, std::min(quiet, left)))
      return false;
    if (chunk.empty()) return true;  // quiet long enough
    text += chunk;
  }
}

bool CComPort::ReadUntilQuiet(std::string& text, int& total, int limit, const ReplyComplete& complete) {
  text.clear();
  total = 0;
  std::string chunk;
  for (;;) {
    const bool ok =
        ReadReply(chunk, 256, [&](const std::string& part) { return complete && complete(text + part); });
    if (chunk.empty()) return false;  // 600 ms of silence (or a failed read)
    text += chunk;
    total += static_cast<int>(chunk.size());
    if (total > limit) return true;
    if (!ok || (complete && complete(text))) return false;
  }
}

}  // namespace kestrun
