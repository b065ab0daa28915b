// The Provisioning window without its widgets: one row per port that exists
// (the ports Main Setting lists, with their COM numbers), and one rv450-cli
// port job per started row, each on a thread of its own, all at once. What a
// job reports on its threads is queued and applied to its row on the window
// thread (Deliver); nothing here touches a widget. Destroying the model stops
// every job, closes every port and joins every thread.
#pragma once

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
#include "journal/JournalStore.h"
#include "port/PortDiscovery.h"

namespace kestrun {

enum class ProvisioningAction { Identify, Provision, Verify, ReadToFiles };

enum class RowState { Idle, Waking, Identifying, Writing, Verifying, Reading, Done, Failed };

struct ProvisioningRow {
  int port = 0;
  std::string device;
  bool present = true;  // false: the port went away while its job ran
  bool checked = false;
  bool running = false;
  std::string imei, iccid, firmware, signal;
  RowState state = RowState::Idle;
  std::string stateText = "idle";  // "writing RVTRI 3 of 8"
  int percent = 0;
  std::string outcome;  // the command line's word: ok, equal, different, tracker-failed, stopped, ...
  std::string result;   // what the job came to, as rv450-cli says it
  std::string hint;     // the system's reason and what to do about it
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

class CProvisioningModel {
 public:
  // Who holds the ports this model's jobs use, in a busy reason.
  static constexpr const char* kHolder = "Provisioning window";

  // `discovery`: where ports are found; `workDir`: where MainSetting.ini
  // (password, baud rate, pacing) is and the traffic logs go.
  CProvisioningModel(DiscoveryPaths discovery, std::string workDir);
  ~CProvisioningModel();
  CProvisioningModel(const CProvisioningModel&) = delete;
  CProvisioningModel& operator=(const CProvisioningModel&) = delete;

  // ---- Window thread ----
  // Finds the ports again: new ones get a row, gone ones lose theirs (a row
  // whose job runs stays until the job ends). True when the rows changed.
  bool RefreshPorts();
  const std::vector<ProvisioningRow>& rows() const { return rows_; }
  void SetChecked(std::size_t row, bool checked);
  // Starts `action` on every checked row that is not running. Everything the
  // action needs (settings, password, files, rules, journal) is checked
  // first: false with `error` saying what is wrong, and no port touched.
  bool Start(ProvisioningAction action, const ProvisioningInputs& inputs, std::string& error);
  // The same for one row alone, while others run.
  bool StartRow(std::size_t row, ProvisioningAction action, const ProvisioningInputs& inputs,
                std::string& error);
  // Asks every job to stop at its next step.
  void Stop();
  // Stops every job and waits for each to close its port; what they would
  // still report is dropped.
  void Shutdown();
  bool Busy() const { return !jobs_.empty(); }
  // The journal's file was found damaged at the last start: no job ran.
  bool journalProblem() const { return journalProblem_; }
  // Applies what the jobs reported since the last call.
  void Deliver();

  // The journal the rows go to: RV450_JOURNAL, else Journal= in [Main] of
  // MainSetting.ini, else the user's default journal.
  std::string JournalTarget() const;
  // The newest `limit` rows, of the tracker `imei` and with `outcome` when
  // these are not empty.
  bool JournalRows(const std::string& imei, const std::string& outcome, int limit,
                   std::vector<journal::JournalRow>& rows, std::string& error) const;

  // Set by the window. `wake` runs on a job's thread when reports wait for
  // Deliver (the window posts Deliver to its own thread); the others run in
  // Deliver and RefreshPorts.
  std::function<void()> wake;
  std::function<void(std::size_t row)> rowChanged;
  std::function<void()> rowsReset;
  std::function<void(const ProvisioningRow& row)> rowFinished;
  std::function<void(bool busy)> busyChanged;

 private:
  struct Job;
  struct Report {
    int port = 0;
    std::optional<batch::JobEvent> event;
    std::optional<batch::PortReport> finished;
  };

  bool Prepare(ProvisioningAction action, const ProvisioningInputs& inputs, batch::JobPlan& plan,
               std::string& error);
  bool Launch(const std::vector<std::size_t>& rows, ProvisioningAction action,
              const ProvisioningInputs& inputs, std::string& error);
  void Post(Report report);
  std::optional<std::size_t> RowOf(int port) const;

  const DiscoveryPaths discovery_;
  const std::string workDir_;
  std::vector<ProvisioningRow> rows_;
  std::map<int, ProvisioningAction> actions_;  // of the running rows, by port
  journal::CJournalStore store_;
  bool storeOpen_ = false;
  bool journalProblem_ = false;

  std::mutex queueMutex_;
  std::deque<Report> queue_;

  // Last, so that every job is stopped and joined before what it reports to goes.
  std::map<int, std::unique_ptr<Job>> jobs_;
};

}  // namespace kestrun
