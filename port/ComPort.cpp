// The parts of the serial port that are the same on every system: finding
// the device and wording a failed open, the line length rule, and the reads
// and polls built on one read and one wait.
#include "port/ComPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace kestrun {

CComPort::~CComPort() { Close(); }

PortResult CComPort::Open() {
  if (isOpen()) return PortResult::Ok();
  devicePath_ = OpenPathForPort(settings_.number, settings_.discovery);
  PortHandle handle = kNoPortHandle;
  if (const int error = devicePath_.empty() ? ENOENT : OpenDevice(devicePath_, handle); error != 0) {
    openFailureReason_ = DescribeOpenFailure(devicePath_, error);
    return PortResult::System(error);
  }
  const char* refused = "";
  if (const int error = SetUpLine(handle, refused); error != 0) {
    openFailureReason_ = devicePath_ + ": " + refused + " were refused";
    return PortResult::System(error);
  }
  handle_ = handle;
  openFailureReason_.clear();
  return PortResult::Ok();
}

PortResult CComPort::WriteLine(const std::string& text, bool purgeFirst) {
  if (!isOpen()) return PortResult::System(EBADF);
  if (purgeFirst) Purge();
  if (text.size() > kMaxLine) return PortResult::LineTooLong();
  return WriteBytes(text + '\r');
}

PortResult CComPort::ReadReply(std::string& buffer, std::size_t maxBytes, const ReplyComplete& complete,
                               Ms timeout) {
  buffer.clear();
  if (!isOpen()) return PortResult::System(EBADF);
  const auto deadline = clock_->Now() + timeout;
  char chunk[512];
  while (buffer.size() < maxBytes && !(complete && !buffer.empty() && complete(buffer))) {
    const auto left = std::chrono::duration_cast<Ms>(deadline - clock_->Now());
    if (left <= Ms(0)) break;
    const int ready = clock_->WaitReadable(handle_, left);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    std::size_t got = 0;
    if (PortResult read = ReadAvailable(chunk, std::min(sizeof chunk, maxBytes - buffer.size()), got); !read)
      return read;
    buffer.append(chunk, got);
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
