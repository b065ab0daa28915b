#include "cli/Stop.h"

namespace kestrun::cli {

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

void CSignalWatch::BlockSignals() { CStopWatch::Prepare(); }

CSignalWatch::CSignalWatch(CStopSource& stop)
    : watch_([&stop] { stop.Request(); },
             "\nrv450-cli: stopping every port (Ctrl+C again to leave at once)\n",
             "\nrv450-cli: interrupted again, leaving at once\n") {}

CSignalWatch::~CSignalWatch() = default;

}  // namespace kestrun::cli
