// A clock on which time passes only when the code under test waits: a fixed
// pause passes at once, and so does a wait for the port when nothing is there
// to read (bytes already there are read as usual). Fit only for waits that end
// in silence or for a device that has answered before the wait begins: a
// device still on its way with an answer would find the read already over.
#pragma once

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>

#include "port/Clock.h"

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

// The steady clock until `silent` holds, then a virtual one: from the moment
// the device will answer nothing more, the rest of every wait passes at once
// (bytes already there are still read). For a live simulator that turns
// silent on a faulted line: the waits before it, while it still answers, are
// real.
class CSilenceClock : public IClock {
 public:
  explicit CSilenceClock(std::function<bool()> silent) : silent_(std::move(silent)) {}
  TimePoint Now() const override { return std::chrono::steady_clock::now() + Ms(skipped_.load()); }
  void SleepFor(Ms wait) override { Wait(-1, wait); }
  int WaitReadable(int fd, Ms wait) override { return Wait(fd, wait); }

 private:
  // Polls in short real slices, looking at `silent_` between them.
  int Wait(int fd, Ms wait) {
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
      const Ms left = std::chrono::ceil<Ms>(end - std::chrono::steady_clock::now());
      if (left <= Ms(0)) return 0;
      pollfd p{fd, POLLIN, 0};
      const bool silent = silent_();
      const int ready =
          ::poll(&p, fd < 0 ? 0 : 1, silent ? 0 : static_cast<int>(std::min(left, Ms(10)).count()));
      if (ready != 0) return ready;
      if (silent) {
        skipped_ += left.count();
        return 0;
      }
    }
  }

  std::function<bool()> silent_;
  std::atomic<long long> skipped_{0};
};

}  // namespace kestrun::testing
