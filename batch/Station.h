// Station mode: a bench whose ports start their job by themselves. Each
// watched port waits for its device, runs the plan's job (identify, provision
// or verify) as soon as the device appears, and stays finished while the
// device stays; when the device goes the port waits again. For a fixed
// adapter whose device stays, Next starts the next tracker. Presence is
// asked of a check that opens nothing: between jobs no byte goes to a port,
// so a finished tracker stays asleep after its closing AT+CSCLK=1.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "batch/JobPlan.h"
#include "batch/JobProgress.h"
#include "batch/PortJob.h"

namespace kestrun::batch {

// A port the station watches; its progress row is its place in the list.
struct StationPort {
  int number = 0;
  std::string logPath;  // its traffic log, or empty
};

enum class StationState {
  Waiting,   // no device, or a device that was not there long enough yet
  Running,   // its job runs
  Finished,  // its job ended and the same device is still there
};

// What a front end hears of the station, on the station's threads, one
// event at a time and in the order things happened. A handler may call Next
// and NextAll, never Stop.
class IStationEvents {
 public:
  // Port `port` is now in `state`; `device` is its device path (empty while waiting).
  virtual void StateChanged(int port, StationState state, const std::string& device) = 0;
  // A job ended. `tracker` is false when nothing answered on the port (no
  // identity, nothing written): the plan's onFinished was not called for it,
  // so the journal gets no row for a port without a tracker.
  virtual void JobEnded(const PortReport& report, bool tracker) = 0;

 protected:
  ~IStationEvents() = default;
};

// The device path of COM `port` as it is now, without opening it; empty
// when the port is absent.
using PresenceCheck = std::function<std::string(int port)>;

// Whether anything answered on the port: a report with an identity, a
// firmware version or a group written.
bool HasTracker(const PortReport& report);

class CStation {
 public:
  // provision runs with skip-done: a tracker already done with these
  // settings is not written twice.
  CStation(const JobPlan& plan, std::vector<StationPort> ports, PresenceCheck presence, IJobProgress& progress,
           IStationEvents& events);
  ~CStation();
  CStation(const CStation&) = delete;
  CStation& operator=(const CStation&) = delete;

  // Starts watching; a device must be seen on two checks `interval` apart
  // before its job starts (a device node just made may not open yet).
  void Start(std::chrono::milliseconds interval = std::chrono::milliseconds(200));
  // The next tracker on finished port `port` whose device stayed; false
  // when the port is not finished.
  bool Next(int port);
  // Next on every finished port; how many were finished.
  int NextAll();
  // Stops the job running on `port` at its next step; the port then ends
  // finished like any other. False when no job runs there.
  bool CancelJob(int port);
  // Stops watching and every running job (its report says stopped), and
  // returns when every job has ended and been handed out.
  void Stop();
  // Stop's first half, for any thread (Ctrl+C): no job starts any more and
  // the running ones stop at their next step; returns at once.
  void Cancel();
  // Stops watching, starts the next trackers asked for and not yet started,
  // lets the running jobs end as they would, and returns when they have been
  // handed out (the end of a watch's input).
  void Drain();

  StationState State(int port) const;

 private:
  struct Slot {
    StationPort port;
    StationState state = StationState::Waiting;
    std::string device;  // the device its job ran on
    std::string seen;    // the device the last check saw while waiting
    bool next = false;
    std::unique_ptr<CPortJob> job;
    std::thread thread;
  };

  void Watch();
  void StartJob(std::size_t index, const std::string& device);
  void JobThread(std::size_t index);

  JobPlan plan_;
  PresenceCheck presence_;
  IJobProgress& progress_;
  IStationEvents& events_;
  std::chrono::milliseconds interval_{200};

  // Lock order: events_ before state_. Events are handed out holding only
  // eventsMutex_, so a handler may call Next.
  std::mutex eventsMutex_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<Slot> slots_;
  bool stopping_ = false;
  bool draining_ = false;
  bool nextAsked_ = false;
  std::thread watcher_;
};

}  // namespace kestrun::batch
