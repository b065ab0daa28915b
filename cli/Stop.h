// Stopping the work from outside: Ctrl+C (SIGINT) and SIGTERM are taken by a
// thread of their own with sigwait, so nothing but setting a flag and calling
// the engines' Stop happens on their account, and never in a signal handler.
#pragma once

#include <csignal>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

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

// Blocks SIGINT and SIGTERM in the calling thread and in every thread it
// starts later; call it first thing in main(). While it lives, a watcher
// thread turns the first such signal into `stop.Request()` and ends the
// process with status 130 on the second.
class CSignalWatch {
 public:
  static void BlockSignals();
  explicit CSignalWatch(CStopSource& stop);
  ~CSignalWatch();
  CSignalWatch(const CSignalWatch&) = delete;
  CSignalWatch& operator=(const CSignalWatch&) = delete;

 private:
  CStopSource& stop_;
  std::thread watcher_;
};

}  // namespace kestrun::cli
