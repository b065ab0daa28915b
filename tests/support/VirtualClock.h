// A clock on which time passes only when the code under test waits: a fixed
// pause passes at once, and so does a wait for the port when nothing is there
// to read (bytes already there are read as usual). Fit only for waits that end
// in silence or for a device that has answered before the wait begins: a
// device still on its way with an answer would find the read already over.
#pragma once

#include <poll.h>

#include <atomic>
#include <functional>

#include "link/Clock.h"

namespace kestrun::testing {

class CVirtualClock : public IClock {
 public:
  TimePoint Now() const override { return TimePoint(Ms(elapsed_.load())); }
  void SleepFor(Ms wait) override {
    elapsed_ += wait.count();
    if (onPause) onPause(wait);
  }
  int WaitReadable(int fd, Ms wait) override {
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, 0);
    if (ready == 0) elapsed_ += wait.count();
    return ready;
  }
  // The time all waits so far took on this clock.
  Ms Elapsed() const { return Ms(elapsed_.load()); }

  // Runs at every fixed pause, on the waiting thread, after the pause: a
  // test plays the device there. Set it before the clock is handed over.
  std::function<void(Ms)> onPause;

 private:
  std::atomic<long long> elapsed_{0};
};

}  // namespace kestrun::testing
