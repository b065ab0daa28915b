// The window's controller, free of widgets: it owns the form's state (the form
// values and command records), the connection settings taken from Main
// Setting, the start-up port check with its own port, the firmware version
// last read, and the operation runner. It reaches the screen only through
// IWindowView. What the device engine reports arrives here, on the window
// thread, through the event relay it is given (IEngineEvents below).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/DeviceEngine.h"
#include "port/ComPort.h"
#include "protocol/FormModel.h"
#include "window/FormComparison.h"
#include "window/FormOrigin.h"
#include "window/OperationRunner.h"
#include "window/TerminalRunner.h"
#include "window/WindowJournal.h"
#include "window/WindowView.h"

namespace kestrun {

class CWindowController : public IEngineEvents {
 public:
  // Makes the relay that carries the engine's events to `windowSide` (this
  // controller) on the window thread.
  using RelayFactory = std::function<std::unique_ptr<IEventRelay>(IEngineEvents& windowSide)>;

  CWindowController(IWindowView& view, const RelayFactory& makeRelay);
  CWindowController(const CWindowController&) = delete;
  CWindowController& operator=(const CWindowController&) = delete;

  // Start-up: push the form, record the working folder (the current one when
  // none was set), find the ports and show Main Setting (false when it was
  // not confirmed: the program ends), then schedule the port check.
  bool Start();
  // The port check: reloads Main Setting, opens and closes the chosen port,
  // and enables the form when it opened. Postponed while an operation runs.
  void CheckPort();

  // Commands. Each does nothing while an operation runs.
  void OnMainSetting();
  void ReadGroup(Group group);
  void SendGroup(Group group);
  void ReadAll();
  void SendAll();
  // The identity queries alone; the answer in a popup and the status line.
  void Identify();
  // A Read of every group into a copy, never into the form; then the fields
  // that differ from the tracker are marked and listed.
  void CompareWithTracker();
  // The user changed the field `id`: its difference mark goes.
  void FieldEdited(int id);
  // A config file was loaded into the form: every difference mark goes, with
  // the comparison's status text and its list.
  void FormLoaded();
  // The file name Save Config File suggests: "<IMEI>.ini" when the form's
  // values came from a tracker whose IMEI is known (CFormOrigin), else empty.
  std::string SuggestedConfigFileName() const { return origin_.SuggestedFileName(); }

  // An operation or a terminal exchange runs: either has the port.
  bool IsBusy() const { return operations_.busy() || terminal_.busy(); }
  // Asks a running operation or exchange to stop at its next step (window closing).
  void AbortOperation() {
    operations_.Stop();
    terminal_.Stop();
  }
  // The terminal window's exchange over the connection; false (nothing
  // started) while an operation or another exchange runs.
  bool StartTerminal(const TerminalRequest& request);
  CTerminalRunner& terminal() { return terminal_; }
  const Connection& connection() const { return connection_; }
  // Stops a running operation and waits for its end; nothing it reports
  // arrives afterwards (the window is going away).
  void Shutdown();

  CFormModel& model() { return model_; }
  const CFormModel& model() const { return model_; }
  const std::string& firmwareVersion() const { return firmwareVersion_; }
  // Where ports are found, and the working folder; set before Start.
  const DiscoveryPaths& discovery() const { return discovery_; }
  void SetDiscovery(const DiscoveryPaths& paths) { discovery_ = paths; }
  void SetStartDirectory(const std::string& path) { startDirectory_ = path; }
  // Where AtLog.log goes when it is not the start folder (Windows' Start menu).
  void SetLogDirectory(const std::string& path) { logDirectory_ = path; }
  const std::string& startDirectory() const { return startDirectory_; }
  // Where the traffic logs go: the log folder, else the start folder.
  const std::string& logDirectory() const { return logDirectory_.empty() ? startDirectory_ : logDirectory_; }

  // The engine's events, applied on the window thread.
  void OperationStarted() override;
  void StatusChanged(const std::string& text) override;
  void StatusExplained(const std::string& detail) override;
  void PopupRequested(const PopupRequest& popup) override;
  void HistoryAppended(const std::string& line) override;
  void PreviewBuilt(int id, const std::string& shown, const std::string& stored) override;
  void GroupStarted(Group group, int index, int count) override;
  void WakeUpAttempt(int attempt, int count) override;
  void GroupRead(Group group, const CFormModel& reading) override;
  void FirmwareVersionRead(const std::string& version) override;
  void IdentityRead(const TrackerIdentity& identity) override;
  void OperationFinished(const OperationResult& result) override;

 private:
  // The parts of Main Setting an operation uses.
  void TakeSettings(const CMainSettings& settings);
  void StartOperation(OperationKind kind, const GroupSelection& selection);
  // True, said on the status line, when another window of this program
  // (the Provisioning window) works on the port.
  bool PortHeldElsewhere();
  void OnBusyChanged(bool busy);
  // The marks, the list and the status text of the last comparison go.
  void ClearDifferences();
  // Every status text goes through here, so that a comparison's is known.
  void ShowStatus(const std::string& text, bool fromComparison = false);

  IWindowView& view_;
  CFormModel model_;
  std::string firmwareVersion_;
  std::string startDirectory_;  // captured once at start-up
  std::string logDirectory_;    // empty: the start folder
  DiscoveryPaths discovery_;
  std::vector<PortEntry> ports_;  // found at start-up, ascending
  // The connection: port, rate and password as the last port check chose
  // them, the pacing as Main Setting last said.
  Connection connection_;
  CComPort port_;              // the port check's own port; operations open the engine's
  bool checkPending_ = false;  // the port check came due during an operation
  CFormComparison comparison_;
  bool comparing_ = false;          // the running Read is for a comparison
  CFormValues trackerValues_;       // the engine's copy as that Read left it
  bool comparisonShown_ = false;    // the status line says a comparison's result
  bool differencesListed_ = false;  // its list is on the screen
  bool readingAll_ = false;         // the running Read is a Read All into the form
  CFormOrigin origin_;
  CWindowJournal journal_;  // a row for each Read All and Send All
  // Last, so that they go first: a running operation or terminal exchange is
  // stopped and joined before anything its events refer to is destroyed.
  COperationRunner operations_;
  CTerminalRunner terminal_;
};

}  // namespace kestrun
