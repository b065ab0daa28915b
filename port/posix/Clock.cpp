#include "port/Clock.h"

#include <poll.h>

#include <thread>

namespace kestrun {

namespace {

class CSteadyClock : public IClock {
 public:
  TimePoint Now() const override { return std::chrono::steady_clock::now(); }
  void SleepFor(Ms wait) override { std::this_thread::sleep_for(wait); }
  int WaitReadable(int fd, Ms wait) override {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(wait.count()));
  }
};

}  // namespace

IClock& SteadyClock() {
  static CSteadyClock clock;
  return clock;
}

}  // namespace kestrun
