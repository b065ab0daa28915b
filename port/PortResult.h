// What a call on the serial port came to: done, its wait ran out, a line the
// port refused for its length, or a failure of the system with its errno and
// the system's words for it.
#pragma once

#include <cerrno>
#include <string>

#include "port/SystemError.h"

namespace kestrun {

enum class PortCallStatus { Ok, TimedOut, LineTooLong, SystemError };

struct PortResult {
  PortCallStatus status = PortCallStatus::Ok;
  int error = 0;       // the errno behind a failure (E2BIG for a line too long); 0 otherwise
  std::string reason;  // SystemReason(error) when there is an errno, else empty

  explicit operator bool() const { return status == PortCallStatus::Ok; }

  static PortResult Ok() { return {}; }
  static PortResult TimedOut() { return {PortCallStatus::TimedOut, 0, {}}; }
  static PortResult LineTooLong() { return {PortCallStatus::LineTooLong, E2BIG, SystemReason(E2BIG)}; }
  static PortResult System(int error) { return {PortCallStatus::SystemError, error, SystemReason(error)}; }
};

}  // namespace kestrun
