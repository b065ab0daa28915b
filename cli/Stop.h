// Stopping the work from outside: Ctrl+C (SIGINT) and SIGTERM on Linux, and
// Ctrl+C, Ctrl+Break and closing the console on Windows, are taken by the
// port layer's stop watch (on Linux a thread of its own with sigwait), so
// nothing but setting a flag and calling the engines' Stop happens on their
// account, and never in a signal handler.
#pragma once

#include <functional>
#include <map>
#include <mutex>

#include "port/Console.h"

namespace kestrun::cli {

class CStopSource {
 public:
  // Calls `onStop` when a stop is requested (at once if it was already);
  // returns an id for Unsubscribe.
  int Subscribe(std::function<void()> onStop);
  void Unsubscribe(int id);
  void Request();
  bool requested() const;

 private:
  mutable std::mutex mutex_;
  bool requested_ = false;
  int nextId_ = 1;
  std::map<int, std::function<void()>> subscribers_;
};

// BlockSignals: call it first thing in main() (on Linux it blocks SIGINT and
// SIGTERM in the calling thread and in every thread it starts later). While a
// watch lives, the first stop request becomes `stop.Request()` and the second
// ends the process with status 130.
class CSignalWatch {
 public:
  static void BlockSignals();
  explicit CSignalWatch(CStopSource& stop);
  ~CSignalWatch();
  CSignalWatch(const CSignalWatch&) = delete;
  CSignalWatch& operator=(const CSignalWatch&) = delete;

 private:
  CStopWatch watch_;
};

}  // namespace kestrun::cli
