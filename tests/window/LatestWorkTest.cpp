// Work handed to a CLatestWork: a request under way is told when its answer is
// no longer wanted (a newer request, an answer put in its place, a drop, the
// end), so that a long check ends early; the answer that then counts.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "window/LatestWork.h"

using namespace kestrun;

namespace {

TEST(LatestWorkTest, ARequestUnderWayIsToldWhenItsAnswerIsNoLongerWanted) {
  enum Then { Ask, Put, Drop, Destroy };
  const struct {
    Then then;
    const char* answer;  // what Take gives once the worker ended; "" for none
  } cases[] = {{Ask, "newer"}, {Put, "put"}, {Drop, ""}, {Destroy, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.then);
    std::promise<void> started;
    std::atomic<bool> told{false};
    auto work = std::make_unique<CLatestWork<std::string, std::string>>(
        [&](const std::string& request, const std::atomic<bool>& superseded) {
          // A newer request starts untold.
          if (request != "long") return request + (superseded ? " told" : "");
          started.set_value();
          // Ends when told, or after a minute as a failure rather than a hang.
          const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
          while (!superseded && std::chrono::steady_clock::now() < end) std::this_thread::yield();
          told = superseded.load();
          return std::string("stale");
        });
    work->Ask("long");
    started.get_future().wait();
    if (c.then == Ask) work->Ask("newer");
    if (c.then == Put) work->Put("put");
    if (c.then == Drop) work->Drop();
    if (c.then == Destroy) work.reset();
    while (work && work->Busy()) std::this_thread::yield();
    EXPECT_TRUE(told);
    if (work) {
      EXPECT_EQ(work->Take().value_or(""), c.answer);
    }
  }
}

}  // namespace
