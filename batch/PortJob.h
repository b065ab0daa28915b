// One port's share of a command: its own device engine, driven through the
// command's steps (read; write; read and compare; write, read back and
// compare) on a thread of its own, with the engine's events turned into
// progress and the report.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "batch/JobPlan.h"
#include "batch/JobProgress.h"
#include "engine/DeviceEngine.h"

namespace kestrun::batch {

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
