// One port's share of a command: its own device engine, driven through the
// command's steps (read; write; read and compare; write, read back and
// compare) on a thread of its own, with the engine's events turned into
// progress and the report.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "batch/JobProgress.h"
#include "batch/PortReport.h"
#include "batch/Provision.h"
#include "engine/DeviceEngine.h"
#include "settings/Connection.h"

namespace kestrun::batch {

// One step of a port's job as it happens, for a front end that follows each
// port on a row of its own (the window's Provisioning rows).
struct JobEvent {
  enum class Kind {
    Phase,     // a step begins: `phase` is "identify", "write", "verify" or "read"
    Waking,    // the tracker is being woken: attempt `index` of `count`
    Group,     // group `group` begins: `index` of `count`
    Identity,  // the identity queries were answered: `identity`
    Status,    // the engine's status line: `text`
  };
  Kind kind = Kind::Status;
  std::string phase;
  Group group = Group::Sri;
  int index = 0;
  int count = 0;
  TrackerIdentity identity;
  std::string text;
};

// What every port of one command shares.
struct JobPlan {
  Command command = Command::None;
  CFormValues values;  // write and verify: the file's values as sent; diff: as loaded
  GroupSelection sendGroups{};
  GroupSelection readGroups{};
  Connection connection;            // each job puts in its port and traffic log
  std::string file;                 // the file given (write, diff, verify)
  std::vector<std::string> capped;  // corrections applied (--allow-caps)
  bool identify = true;             // read, write, diff, verify: the identity queries in the first bracket
  std::string outputBase;           // read with several ports: -o FILE, each file named by its IMEI
  std::function<void(int port, const std::string& status)> onStatus;  // tests watch the progress
  // Every step of every port, on the engine's worker (or the job's thread).
  std::function<void(int port, const JobEvent& event)> onEvent;
  // The port's report as soon as its job ends, on the job's thread: the
  // journal row of each tracker is committed then, not after the batch.
  std::function<void(PortReport& report)> onFinished;
  // provision: the table, flags and journal every port shares (PrepareProvision).
  std::shared_ptr<ProvisionSetup> provision;
  // provision: what became of a port's tracker once its identity was known,
  // on the job's (or its engine's) thread; a window shows it per port.
  std::function<void(int port, const TrackerDecision& decision)> onDecision;
};

// The lines write would send for `plan` in Send All order, each with the
// password shown as **** and the stamp as <UTC>: what --dry-run prints.
std::vector<std::string> LinesToSend(const JobPlan& plan);
// The same for `values` (a tracker's merged values) in place of the plan's.
std::vector<std::string> LinesToSend(const JobPlan& plan, const CFormValues& values);

// "RVSRI", ... of the groups selected, in Send All order.
std::vector<std::string> GroupNamesOf(const GroupSelection& selection);

// `file` with "-<tag>" before its extension: fleet.ini, COM5 -> fleet-COM5.ini.
std::string OutputFileWithTag(const std::string& file, const std::string& tag);

class CPortJob : private IEngineEvents {
 public:
  // `outputFile`: where read writes; `logPath`: the traffic log, or empty.
  CPortJob(const JobPlan& plan, int port, std::string device, std::string outputFile, std::string logPath,
           IJobProgress& progress, std::size_t row);

  // Runs the command's steps; on the job's own thread.
  void Run();
  // Stops at the next step; any thread.
  void Cancel();
  // After Run returned.
  const PortReport& report() const { return report_; }

 private:
  bool RunStep(OperationKind kind, const GroupSelection& selection, const CFormModel& form, const char* phase,
               AfterIdentify afterIdentify = {});
  // Writes `form`'s values to the send groups; false, with the groups and
  // lines that went through before the failure in the report, when it failed.
  bool Send(const CFormModel& form, AfterIdentify afterIdentify = {});
  // Reads the groups just written back and compares them with `sent`, the
  // values the write sent (write's and verify's file, provision's merged row).
  void Verify(const CFormValues& sent);
  // provision: identify, decide, write the merged values, read back, compare.
  void RunProvision(CFormModel& form);
  // provision: the decision's outcome in the report when the tracker is not written.
  void TakeDecision();
  void Finish(const OperationResult& result);
  void WriteOutputFile(const CFormValues& values);
  void TakePartialSend();
  void Show(const std::string& text);
  void Tell(JobEvent::Kind kind, const std::function<void(JobEvent&)>& fill);

  void StatusChanged(const std::string& text) override;
  void StatusExplained(const std::string& detail) override;
  void PopupRequested(const PopupRequest& popup) override;
  void HistoryAppended(const std::string& line) override;
  void GroupStarted(Group group, int index, int count) override;
  void WakeUpAttempt(int attempt, int count) override;
  void FirmwareVersionRead(const std::string& version) override;
  void IdentityRead(const TrackerIdentity& identity) override;
  void OperationFinished(const OperationResult& result) override;

  const JobPlan& plan_;
  const int port_;
  std::string outputFile_;
  const std::string logPath_;
  IJobProgress& progress_;
  const std::size_t row_;
  PortReport report_;

  // Between Cancel and the job: a stop asked for before a step starts keeps
  // it from starting, one asked for during it reaches the engine.
  std::mutex mutex_;
  bool cancelled_ = false;

  // Written by the engine's worker during a step, read by the job after it.
  std::string phase_;
  std::string group_;
  std::string status_;
  std::string detail_;
  std::vector<std::string> popups_;
  int lines_ = 0;
  int steps_ = 0;  // steps started; only the first asks the identity queries
  GroupSelection groupsStarted_{};
  std::optional<Group> current_;
  // provision: set by the engine's worker during the write step (or by the
  // job in a dry run), read by the job after it.
  TrackerDecision decision_;

  // Last, so that it is gone before anything its events touch.
  CDeviceEngine engine_{*this};
};

}  // namespace kestrun::batch
