#include "port/Clock.h"

#include <windows.h>

#include <algorithm>
#include <thread>

namespace kestrun {

namespace {

constexpr IClock::Ms kPollStep{1};

class CSteadyClock : public IClock {
 public:
  TimePoint Now() const override { return std::chrono::steady_clock::now(); }
  void SleepFor(Ms wait) override { std::this_thread::sleep_for(wait); }
  // The port is opened with reads that return at once with what has arrived;
  // readiness is the driver's input count, looked at every millisecond until
  // bytes are there or the wait has passed on this clock.
  int WaitReadable(PortHandle port, Ms wait) override {
    const auto end = Now() + wait;
    for (;;) {
      DWORD errors = 0;
      COMSTAT status{};
      // A port that fails here has gone: readable, as poll() finds a hang-up,
      // so that the read that follows reports the failure.
      if (!ClearCommError(static_cast<HANDLE>(port), &errors, &status)) return 1;
      if (status.cbInQue > 0) return 1;
      const auto left = std::chrono::duration_cast<Ms>(end - Now());
      if (left <= Ms(0)) return 0;
      std::this_thread::sleep_for(std::min(left, kPollStep));
    }
  }
};

}  // namespace

IClock& SteadyClock() {
  static CSteadyClock clock;
  return clock;
}

}  // namespace kestrun
