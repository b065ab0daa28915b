#include "cli/Stop.h"

#include <pthread.h>
#include <unistd.h>

namespace kestrun::cli {

namespace {

// SIGUSR2 only tells the watcher to end; it is blocked like the others.
sigset_t WatchedSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGUSR2);
  return set;
}

}  // namespace

int CStopSource::Subscribe(std::function<void()> onStop) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (requested_) onStop();
  subscribers_[nextId_] = std::move(onStop);
  return nextId_++;
}

void CStopSource::Unsubscribe(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  subscribers_.erase(id);
}

void CStopSource::Request() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (requested_) return;
  requested_ = true;
  for (auto& [id, onStop] : subscribers_) onStop();
}

bool CStopSource::requested() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requested_;
}

void CSignalWatch::BlockSignals() {
  const sigset_t set = WatchedSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

CSignalWatch::CSignalWatch(CStopSource& stop) : stop_(stop) {
  BlockSignals();
  watcher_ = std::thread([this] {
    const sigset_t set = WatchedSignals();
    bool stopping = false;
    while (true) {
      int signal = 0;
      if (sigwait(&set, &signal) != 0) continue;
      if (signal == SIGUSR2) return;
      if (stopping) {
        static const char kText[] = "\nrv450-cli: interrupted again, leaving at once\n";
        [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, kText, sizeof kText - 1);
        ::_exit(130);
      }
      stopping = true;
      static const char kText[] = "\nrv450-cli: stopping every port (Ctrl+C again to leave at once)\n";
      [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, kText, sizeof kText - 1);
      stop_.Request();
    }
  });
}

CSignalWatch::~CSignalWatch() {
  pthread_kill(watcher_.native_handle(), SIGUSR2);
  watcher_.join();
}

}  // namespace kestrun::cli
