// The Provisioning window without its widgets: one row per port that exists
// (the ports Main Setting lists, with their COM numbers), and one rv450-cli
// port job per started row, each on a thread of its own, all at once. A row
// keeps its story (tick, last result) while its port is away. In station
// mode each ticked port is watched by a batch::CStation of its own and its
// job starts when a device appears there. What a job or a station reports on
// its threads is queued and applied to its row on the window thread
// (Deliver); nothing here touches a widget. Destroying the model stops every
// job and station, closes every port and joins every thread.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "batch/PortJob.h"
#include "batch/Station.h"
#include "journal/JournalStore.h"
#include "port/PortDiscovery.h"
#include "window/LatestWork.h"

namespace kestrun {

enum class ProvisioningAction { Identify, Provision, Verify, ReadToFiles };

enum class RowState { Idle, Waiting, Waking, Identifying, Reading, Writing, Verifying, Done, Failed, Stopped };

struct ProvisioningRow {
  int port = 0;
  std::string device;
  bool present = true;  // false: the port went away while its job ran
  bool checked = false;
  bool running = false;
  std::string imei, iccid, firmware, signal;
  RowState state = RowState::Idle;
  std::string stateText = "idle";  // "writing RVTRI 3 of 8"
  int percent = 0;                 // never goes back during a job
  bool answered = false;           // a tracker answered on this port at some time
  bool watched = false;            // station mode watches the port
  bool finished = false;           // station mode: its job ended and the same device is still there
  int tableLine = 0;               // provision: the table line the tracker was dealt, or 0
  std::string outcome;  // the command line's word: ok, equal, different, tracker-failed, stopped, ...
  std::string result;   // what the job came to, as rv450-cli says it
  std::string hint;     // the system's reason and what to do about it
  bool story = false;   // a stopped, vanished or skipped job: the hint is left to the tooltip
  std::string file;     // Read to files: the file written
  double seconds = 0;   // how long the last job took
  std::chrono::steady_clock::time_point started;  // of the running job
};

// What the buttons take from the window's choosers.
struct ProvisioningInputs {
  std::string templateFile;  // Provision, Verify
  std::string tableFile;     // Provision: the per-tracker table; may be empty
  std::string outputFolder;  // Read to files
  bool assign = false;       // Provision: deal the rows of a table without a key column, in order
  bool skipDone = false;     // Provision: skip trackers the journal shows done with these settings
};

// What became of a start once its preparation answered (or was dropped).
struct PreparedStart {
  ProvisioningAction action = ProvisioningAction::Provision;
  bool station = false;  // station mode was asked for
  bool started = false;  // its jobs (or the station) started
  std::string error;     // why nothing started; empty when it did, or when Stop dropped the preparation
  // The error is about the choices (Main Setting, the files, the journal), which Check reads again
  // as they change; not about the ports (gone, busy or unticked meanwhile), which it does not read.
  bool aboutChoices = false;
};

// One tracker's job that ended in this batch, for the summary line.
struct FinishedJob {
  RowState state = RowState::Done;
  double seconds = 0;
  int port = 0;
  std::string imei;  // empty when the job ended before the tracker told it
};

class CProvisioningModel {
 public:
  // Who holds the ports this model's jobs use, in a busy reason.
  static constexpr const char* kHolder = "Provisioning window";

  // `discovery`: where ports are found; `workDir`: where MainSetting.ini
  // (password, baud rate, pacing) is; `logDir`: where the traffic logs go
  // (empty: `workDir`; started from the Start menu on Windows they grow in
  // the local, not the roaming, folder).
  CProvisioningModel(DiscoveryPaths discovery, std::string workDir, std::string logDir = {});
  ~CProvisioningModel();
  CProvisioningModel(const CProvisioningModel&) = delete;
  CProvisioningModel& operator=(const CProvisioningModel&) = delete;

  // ---- Window thread ----
  // Finds the ports again: new ones get a row; a gone one keeps its row
  // (marked not present) while it is ticked, runs or has a result, and
  // loses it otherwise. True when the rows changed.
  bool RefreshPorts();
  const std::vector<ProvisioningRow>& rows() const { return rows_; }
  void SetChecked(std::size_t row, bool checked);
  // Starts `action` on every checked row that is not running. Everything the
  // action needs (settings, password, files, rules, journal) is checked
  // first, on the preparation's worker thread (a table may take seconds to
  // read, a shared journal its connect timeout): true when the preparation
  // was asked for. Its answer is taken in Deliver, which then starts the
  // rows that still are ticked, present and idle, and tells `prepared`
  // (with what is wrong, and no port touched, when it refused). False at
  // once with `error` when nothing could start; false with `error` empty
  // while another start's preparation is under way (this one is ignored).
  // Start, StartRow, Retry and StartStation all go so.
  bool Start(ProvisioningAction action, const ProvisioningInputs& inputs, std::string& error);
  // Whether `action` could start with `inputs` (everything Start checks
  // before a port); false with `error`. No port is touched and nothing of
  // the model changes: it opens a journal of its own, so it may run on any
  // thread, while jobs run (a shared journal may take its connect timeout).
  // A table's check ends early, refused, once `stop` turns true.
  bool Check(ProvisioningAction action, const ProvisioningInputs& inputs, std::string& error,
             const std::atomic<bool>* stop = nullptr) const;
  // The same for one row alone, while others run.
  bool StartRow(std::size_t row, ProvisioningAction action, const ProvisioningInputs& inputs,
                std::string& error);
  // Asks every job to stop at its next step; a start still being prepared
  // is dropped (its answer starts nothing).
  void Stop();
  // Asks the jobs of `rows` to stop at their next step; in station mode
  // their ports then wait for Next Tracker or for their device to go. A
  // start still being prepared leaves these rows out.
  void StopRows(const std::vector<std::size_t>& rows);
  // Starts `rows` again: in station mode the next tracker on a port whose
  // job ended, otherwise `action` on each row that is not running.
  bool Retry(const std::vector<std::size_t>& rows, ProvisioningAction action, const ProvisioningInputs& inputs,
             std::string& error);

  // ---- Station mode (ProvisioningStation.cpp) ----
  // Watches every ticked row's port (and each one ticked later): `action`
  // starts by itself when a device appears there. A provision skips a
  // tracker already done with these settings. Checked as Start checks.
  bool StartStation(ProvisioningAction action, const ProvisioningInputs& inputs, std::string& error);
  // Ends station mode: running jobs stop, no port is watched any more.
  void StopStation();
  bool StationOn() const { return stationPlan_ != nullptr; }
  // The next tracker on the row's port, whose job ended while its device
  // stayed; false when the row is not such a row.
  bool NextTracker(std::size_t row);
  // Next Tracker on every such row; how many.
  int NextAll();

  // The trackers whose jobs ended since the last start, in order.
  const std::vector<FinishedJob>& finishedJobs() const { return finished_; }
  // Stops every job and waits for each to close its port; what they would
  // still report is dropped.
  void Shutdown();
  // A job runs (a station's included), or a start is being prepared.
  bool Busy() const;
  // A start's preparation is under way.
  bool Preparing() const { return pending_.has_value(); }
  // The journal's file was found damaged at the last start: no job ran.
  bool journalProblem() const { return journalProblem_; }
  // Applies what the jobs reported since the last call, and the answer of a
  // start's preparation.
  void Deliver();

  // The journal the rows go to: RV450_JOURNAL, else Journal= in [Main] of
  // MainSetting.ini, else the user's default journal.
  std::string JournalTarget() const;

  // Set by the window. `wake` runs on a job's (or the preparation's) thread
  // when reports or an answer wait for Deliver (the window posts Deliver to
  // its own thread); set it before the first start. The others run on the
  // window thread: in Deliver and RefreshPorts, and `prepared` also in Stop.
  std::function<void()> wake;
  std::function<void(std::size_t row)> rowChanged;
  std::function<void()> rowsReset;
  std::function<void(const ProvisioningRow& row)> rowFinished;
  std::function<void(bool busy)> busyChanged;
  std::function<void(const PreparedStart& start)> prepared;

 private:
  struct Job;
  struct Watch;
  class StationEvents;
  struct Report {
    int port = 0;
    std::optional<batch::JobEvent> event;
    std::optional<batch::PortReport> finished;
    bool tracker = true;  // station mode: something answered on the port
    bool fromStation = false;
    std::optional<batch::StationState> station;
    std::string device;  // of the station's state change
    int dealtLine = 0;   // provision: the table line the tracker was dealt
    static Report Of(int port) {
      Report report;
      report.port = port;
      return report;
    }
  };

  // What a start is for: the ticked rows, one row, rows again, or station mode.
  enum class StartKind { Ticked, Row, Retry, Station };
  // The start whose preparation is under way, with the ports chosen at the click.
  struct PendingStart {
    StartKind kind = StartKind::Ticked;
    ProvisioningAction action = ProvisioningAction::Provision;
    ProvisioningInputs inputs;
    std::vector<int> ports;
  };
  struct PrepareRequest {
    ProvisioningAction action = ProvisioningAction::Provision;
    ProvisioningInputs inputs;
    bool openStore = false;  // the model's journal is not open yet: open one
  };
  struct PrepareAnswer {
    bool ok = false;
    std::string error;
    batch::JobPlan plan;
    std::unique_ptr<journal::CJournalStore> store;  // opened on the worker, for the model to keep
    bool triedStore = false;
    bool journalProblem = false;  // the journal's file was found damaged
  };

  // Starts the preparation of a start of `kind` on `ports` (those that may
  // start now); false when none may, or another preparation is under way.
  bool Ask(StartKind kind, ProvisioningAction action, const ProvisioningInputs& inputs, std::vector<int> ports,
           std::string& error);
  // The preparation, on its worker thread: reads files only, and opens a
  // journal of its own when asked to.
  // `stop`: a newer start, Stop or the model's end no longer wants the answer.
  PrepareAnswer Prepare(const PrepareRequest& request, const std::atomic<bool>& stop) const;
  // In Deliver: the preparation's answer starts the rows, or the station.
  void TakePrepared();
  // Drops the start being prepared: its answer will start nothing.
  void DropPreparation();
  // The rows of `ports` a start of `kind` may start now, as the click's checks say.
  std::vector<std::size_t> Startable(StartKind kind, const std::vector<int>& ports) const;
  // Why a start of `kind` has no row to start.
  const char* NothingToStart(StartKind kind) const;
  // Tells busyChanged when Busy() changed since it was told last.
  void SayBusy();
  // Station mode with its prepared plan (ProvisioningStation.cpp).
  void BeginStation(ProvisioningAction action, batch::JobPlan shared);
  // What Prepare checks before the journal: settings, password, folder,
  // template and table. Reads files only; any thread.
  bool PrepareFiles(ProvisioningAction action, const ProvisioningInputs& inputs, batch::JobPlan& plan,
                    std::string& error, const std::atomic<bool>* stop = nullptr) const;
  // The journal's part, with `store` open: a table dealt in order needs the server.
  static bool CheckDealing(const batch::JobPlan& plan, const ProvisioningInputs& inputs,
                           const journal::CJournalStore& store, std::string& error);
  // Starts a job on each of `rows`; `retry`: they mend the batch before.
  bool Launch(const std::vector<std::size_t>& rows, ProvisioningAction action, const batch::JobPlan& shared,
              bool retry, std::string& error);
  void Post(Report report);
  std::optional<std::size_t> RowOf(int port) const;
  // The traffic log of COM `port`.
  std::string LogPathOf(int port) const;
  // Applies one report; true when a job ended.
  bool Apply(Report& report, ProvisioningRow& row);
  void ApplyStation(const Report& report, ProvisioningRow& row);
  // A row about to run a new job: its identity and result go, its tick stays.
  static void BeginJob(ProvisioningRow& row);
  void Finish(ProvisioningRow& row, const batch::PortReport& report, bool tracker);
  // The device of COM `port` as it is now, without opening it; empty when absent.
  std::string DeviceNow(int port) const;
  void WatchPort(std::size_t row);
  void Unwatch(int port);
  void DropEndedWatches();

  const DiscoveryPaths discovery_;
  const std::string workDir_;
  const std::string logDir_;
  std::vector<ProvisioningRow> rows_;
  std::map<int, ProvisioningAction> actions_;  // of the running rows, by port
  // The journal every job commits its row to, opened once, at the first
  // start. It is opened on the preparation's worker and handed over in its
  // answer: CLatestWork's lock orders the worker's writes before Take on the
  // window thread, which alone sets this pointer, and only while it is null,
  // i.e. while no job can use it; the job threads that Append to it are
  // started after that. It is never reset while jobs run.
  std::unique_ptr<journal::CJournalStore> store_;
  bool journalProblem_ = false;

  std::mutex queueMutex_;
  std::deque<Report> queue_;

  std::vector<FinishedJob> finished_;
  std::unique_ptr<batch::JobPlan> stationPlan_;  // station mode's plan; null: station mode is off
  ProvisioningAction stationAction_ = ProvisioningAction::Provision;
  // The start being prepared. Only its preparation's answer can reach Deliver:
  // a dropped one's answer is discarded by the preparer.
  std::optional<PendingStart> pending_;
  bool busySaid_ = false;  // what busyChanged told last

  // Its work reads the members above that are const; destroying it waits
  // for a preparation under way (the destructor resets it first).
  std::unique_ptr<CLatestWork<PrepareRequest, PrepareAnswer>> preparer_;

  // Last, so that every job and station is stopped and joined before what it reports to goes.
  std::map<int, std::unique_ptr<Job>> jobs_;
  std::map<int, std::unique_ptr<Watch>> watches_;  // station mode: one station per watched port
};

}  // namespace kestrun
