#include "port/ComPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
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

PortResult CComPort::Open() {
  if (isOpen()) return PortResult::Ok();
  devicePath_ = OpenPathForPort(settings_.number, settings_.discovery);
  auto openFailed = [&](int error) {
    openFailureReason_ = DescribeOpenFailure(devicePath_, error);
    return PortResult::System(error);
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

  const auto settingsRefused = [&](int error) {
    ::close(fd);
    openFailureReason_ = devicePath_ + ": the line settings were refused";
    return PortResult::System(error);
  };
  termios tio{};
  const speed_t speed = SpeedFor(settings_.baudRate);
  if (::tcgetattr(fd, &tio) != 0 || speed == 0) return settingsRefused(speed == 0 ? EINVAL : errno);
  savedLine_ = tio;
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
  handle_ = fd;
  openFailureReason_.clear();
  return PortResult::Ok();
}

void CComPort::Close() {
  if (handle_ < 0) return;
  // The next user of the port finds the line as this one did. Once what was
  // written has gone out, so that none of it leaves at another speed; a
  // device that has gone refuses, harmlessly.
  ::tcsetattr(handle_, TCSADRAIN, &savedLine_);
  ::close(handle_);  // also releases the advisory lock
  handle_ = -1;
}

PortResult CComPort::Purge() {
  if (handle_ < 0) return PortResult::System(EBADF);
  if (::tcflush(handle_, purgeDiscardsOutput_ ? TCIOFLUSH : TCIFLUSH) != 0) return PortResult::System(errno);
  return PortResult::Ok();
}

PortResult CComPort::WriteLine(const std::string& text, bool purgeFirst) {
  if (handle_ < 0) return PortResult::System(EBADF);
  if (purgeFirst) ::tcflush(handle_, purgeDiscardsOutput_ ? TCIOFLUSH : TCIFLUSH);
  if (text.size() > kMaxLine) return PortResult::LineTooLong();
  return WriteBytes(text + '\r');
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

PortResult CComPort::ReadReply(std::string& buffer, std::size_t maxBytes, const ReplyComplete& complete,
                               Ms timeout) {
  buffer.clear();
  if (handle_ < 0) return PortResult::System(EBADF);
  const auto deadline = clock_->Now() + timeout;
  char chunk[512];
  while (buffer.size() < maxBytes && !(complete && !buffer.empty() && complete(buffer))) {
    const auto left = std::chrono::duration_cast<Ms>(deadline - clock_->Now());
    if (left <= Ms(0)) break;
    const int ready = clock_->WaitReadable(handle_, left);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    const std::size_t want = std::min(sizeof chunk, maxBytes - buffer.size());
    const ssize_t n = ::read(handle_, chunk, want);
    if (n > 0) {
      buffer.append(chunk, static_cast<std::size_t>(n));
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      continue;
    } else {
      // A hang-up (the device vanished) reads as 0 bytes or EIO: a failed read.
      return PortResult::System(n < 0 ? errno : EIO);
    }
  }
  return PortResult::Ok();
}

PortResult CComPort::SendAndRead(const std::string& text, std::string& buffer, std::size_t maxBytes,
                                 const ReplyComplete& complete) {
  if (PortResult written = WriteLine(text); !written) return written;
  return ReadReply(buffer, maxBytes, complete);
}

PortResult CComPort::SendAndWaitFor(const std::string& text, std::string& buffer, const PollPlan& plan) {
  buffer.clear();
  if (PortResult written = WriteLine(text, plan.purgeFirst); !written) return written;
  // The token is looked for in each poll's read on its own; `done` looks at
  // all that was read. `buffer` keeps every read, for the caller and the log.
  const auto found = [&](const std::string& part, const std::string& all) {
    return plan.done ? plan.done(all) : part.find(plan.token) != std::string::npos;
  };
  std::string part;
  for (int i = 0; i < plan.polls; ++i) {
    PortResult read;
    if (plan.endOnToken) {
      read = ReadReply(
          part, plan.maxBytes, [&](const std::string& more) { return found(more, buffer + more); },
          plan.pause + Ms(kReadTimeoutMs));
    } else {
      clock_->SleepFor(plan.pause);
      read = ReadReply(part, plan.maxBytes);
    }
    buffer += part;
    if (!read) return read;
    if (found(part, buffer)) return PortResult::Ok();
  }
  return PortResult::TimedOut();
}

PortResult CComPort::ReadUntilQuietFor(std::string& text, Ms quiet, Ms limit, const ReplyComplete& complete) {
  const auto end = clock_->Now() + limit;
  std::string chunk;
  for (;;) {
    if (complete && complete(text)) return PortResult::Ok();
    const auto left = std::chrono::duration_cast<Ms>(end - clock_->Now());
    if (left <= Ms(0)) return PortResult::Ok();
    if (PortResult read = ReadReply(
            chunk, 512, [](const std::string&) { return true; }, std::min(quiet, left));
        !read)
      return read;
    if (chunk.empty()) return PortResult::Ok();  // quiet long enough
    text += chunk;
  }
}

PortResult CComPort::ReadUntilQuiet(std::string& text, std::size_t limit, const ReplyComplete& complete) {
  text.clear();
  std::string chunk;
  for (;;) {
    PortResult read =
        ReadReply(chunk, 256, [&](const std::string& part) { return complete && complete(text + part); });
    if (!read) {
      text += chunk;  // what the failed read had taken
      return read;
    }
    if (chunk.empty()) return PortResult::Ok();  // 600 ms of silence
    text += chunk;
    if (text.size() > limit || (complete && complete(text))) return PortResult::Ok();
  }
}

}  // namespace kestrun
