#include "batch/Station.h"

#include <tuple>

namespace kestrun::batch {

bool HasTracker(const PortReport& report) {
  const TrackerIdentity& id = report.identity;
  return report.answered || !id.imei.empty() || !id.iccid.empty() || !id.firmware.empty() ||
         !report.firmware.empty() || !report.groupsSent.empty();
}

CStation::CStation(const JobPlan& plan, std::vector<StationPort> ports, PresenceCheck presence,
                   IJobProgress& progress, IStationEvents& events)
    : plan_(plan), presence_(std::move(presence)), progress_(progress), events_(events) {
  // A port without a tracker gets no journal row: the front end's onFinished
  // (which records it) hears only of jobs where something answered.
  plan_.onFinished = [outer = plan.onFinished](PortReport& report) {
    if (outer && HasTracker(report)) outer(report);
  };
  if (plan_.provision) {
    auto setup = std::make_shared<ProvisionSetup>(*plan_.provision);
    setup->skipDone = true;
    plan_.provision = std::move(setup);
  }
  for (StationPort& port : ports) {
    Slot slot;
    slot.port = std::move(port);
    slots_.push_back(std::move(slot));
  }
}

CStation::~CStation() { Stop(); }

void CStation::Start(std::chrono::milliseconds interval) {
  interval_ = interval;
  {
    std::lock_guard<std::mutex> events(eventsMutex_);
    for (const Slot& slot : slots_) events_.StateChanged(slot.port.number, StationState::Waiting, "");
  }
  watcher_ = std::thread(&CStation::Watch, this);
}

bool CStation::Next(int port) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (Slot& slot : slots_) {
    if (slot.port.number != port) continue;
    if (slot.state != StationState::Finished) return false;
    slot.next = nextAsked_ = true;
    wake_.notify_all();
    return true;
  }
  return false;
}

int CStation::NextAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  int count = 0;
  for (Slot& slot : slots_) {
    if (slot.state != StationState::Finished) continue;
    slot.next = nextAsked_ = true;
    ++count;
  }
  if (count > 0) wake_.notify_all();
  return count;
}

StationState CStation::State(int port) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Slot& slot : slots_)
    if (slot.port.number == port) return slot.state;
  return StationState::Waiting;
}

void CStation::Cancel() {
  std::vector<CPortJob*> running;
  {
    // Under the lock the watcher starts jobs under: none starts after this.
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    for (Slot& slot : slots_)
      if (slot.state == StationState::Running && slot.job) running.push_back(slot.job.get());
  }
  wake_.notify_all();
  for (CPortJob* job : running) job->Cancel();
}

bool CStation::CancelJob(int port) {
  // Under the lock: the slot's job is not replaced while it is asked to stop.
  std::lock_guard<std::mutex> lock(mutex_);
  for (Slot& slot : slots_)
    if (slot.port.number == port && slot.state == StationState::Running && slot.job) {
      slot.job->Cancel();
      return true;
    }
  return false;
}

void CStation::Stop() {
  Cancel();
  Drain();
}

void CStation::Drain() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    draining_ = true;
  }
  wake_.notify_all();
  if (watcher_.joinable()) watcher_.join();
  for (Slot& slot : slots_)
    if (slot.thread.joinable()) slot.thread.join();
}

void CStation::Watch() {
  for (;;) {
    // Asked outside the locks: a check may take a moment.
    std::vector<std::string> present;
    for (const Slot& slot : slots_) present.push_back(presence_(slot.port.number));
    bool last = false;
    {
      // Held while the changes are told, not while the watcher waits: a
      // job's thread hands out its report under it.
      std::vector<std::tuple<int, StationState, std::string>> changes;
      std::lock_guard<std::mutex> events(eventsMutex_);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return;
        // Draining: one last pass that starts only the next trackers asked
        // for before the input ended, no newly plugged one.
        last = draining_;
        nextAsked_ = false;
        for (std::size_t i = 0; i < slots_.size(); ++i) {
          Slot& slot = slots_[i];
          const std::string& device = present[i];
          bool start = false;
          switch (slot.state) {
            case StationState::Waiting:
              start = !last && !device.empty() && device == slot.seen;
              slot.seen = device;
              break;
            case StationState::Finished:
              // Gone, or another device in its place: wait (a new device
              // starts after the next check).
              if (device != slot.device) {
                slot.state = StationState::Waiting;
                slot.next = false;
                slot.seen = device;
                changes.emplace_back(slot.port.number, slot.state, "");
              } else {
                start = slot.next;
              }
              break;
            case StationState::Running: break;
          }
          if (!start) continue;
          StartJob(i, device);
          changes.emplace_back(slot.port.number, slot.state, device);
        }
      }
      for (const auto& [port, state, device] : changes) events_.StateChanged(port, state, device);
    }
    if (last) return;
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_for(lock, interval_, [this] { return stopping_ || draining_ || nextAsked_; });
    if (stopping_) return;
  }
}

// With mutex_ held. The port's last job thread has handed out its report
// (it did so holding eventsMutex_, which the caller holds now), so it is
// only returning.
void CStation::StartJob(std::size_t index, const std::string& device) {
  Slot& slot = slots_[index];
  if (slot.thread.joinable()) slot.thread.join();
  slot.next = false;
  slot.seen.clear();
  slot.device = device;
  slot.state = StationState::Running;
  slot.job = std::make_unique<CPortJob>(plan_, slot.port.number, device, std::string(), slot.port.logPath,
                                        progress_, index);
  slot.thread = std::thread(&CStation::JobThread, this, index);
}

void CStation::JobThread(std::size_t index) {
  CPortJob* job = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job = slots_[index].job.get();
  }
  job->Run();
  const PortReport report = job->report();
  std::lock_guard<std::mutex> events(eventsMutex_);
  std::string device;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slots_[index].state = StationState::Finished;
    device = slots_[index].device;
  }
  events_.JobEnded(report, HasTracker(report));
  events_.StateChanged(report.port, StationState::Finished, device);
}

}  // namespace kestrun::batch
