// Where the serial exchange takes its time from: the time now, the fixed
// pauses, and the blocking wait for a port to become readable. The tool runs on
// the steady clock; a test may put a virtual clock in its place, so that waits
// that end in silence and fixed pauses pass without being waited out.
#pragma once

#include <chrono>

#include "port/PortHandle.h"

namespace kestrun {

class IClock {
 public:
  using Ms = std::chrono::milliseconds;
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~IClock() = default;
  virtual TimePoint Now() const = 0;
  // A fixed pause of `wait`.
  virtual void SleepFor(Ms wait) = 0;
  // Waits up to `wait` of this clock's time for `port` to have bytes to read;
  // as poll(): above 0 readable, 0 the wait has passed, below 0 failed (errno).
  virtual int WaitReadable(PortHandle port, Ms wait) = 0;
};

// The real, steady clock; stateless, shared by every port.
IClock& SteadyClock();

}  // namespace kestrun
