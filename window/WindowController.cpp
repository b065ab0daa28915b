#include "window/WindowController.h"

#include <cstdio>

#include "engine/TrafficLog.h"
#include "port/Platform.h"
#include "window/PortsInUse.h"

namespace kestrun {

CWindowController::CWindowController(IWindowView& view, const RelayFactory& makeRelay)
    : view_(view),
      operations_(makeRelay(*this), [this](bool busy) { OnBusyChanged(busy); }),
      // A port check that comes due during an exchange waits for its end (CheckPort).
      terminal_(makeRelay, [this](bool busy) { busy ? view_.ShowBusy(true) : OnBusyChanged(false); }) {}

bool CWindowController::Start() {
  view_.PushForm();
  if (startDirectory_.empty()) startDirectory_ = CurrentFolder();
  port_.SetSettings({0, 115200, discovery_});
  ports_ = DiscoverPorts(discovery_);
  const auto settings = view_.OpenMainSettingAtStart(ports_, BuildMainSettingPath(startDirectory_));
  if (!settings) return false;
  TakeSettings(*settings);
  firmwareVersion_.clear();
  view_.SchedulePortCheck(true);
  return true;
}

void CWindowController::TakeSettings(const CMainSettings& settings) {
  connection_.pacing = settings.pacing;
  journal_.Configure(settings.journal);
}

void CWindowController::CheckPort() {
  view_.SchedulePortCheck(false);
  if (IsBusy()) {  // never under a running operation; it runs once that has ended
    checkPending_ = true;
    return;
  }
  model_.liveUpdate = true;
  view_.SetFormEnabled(false);
  ShowStatus("Init System ......");
  view_.ClearHistory();
  const CMainSettings settings = view_.ReloadMainSetting();
  journal_.Configure(settings.journal);
  // No port behind the index (none was found): the open fails and says COM:0.
  connection_ = ConnectionFromSettings(settings, ports_);
  connection_.logPath = TrafficLogPath(logDirectory_.empty() ? startDirectory_ : logDirectory_);
  connection_.discovery = discovery_;
  model_.SetPassword(connection_.password);
  port_.SetSettings({connection_.port, connection_.baudRate, port_.settings().discovery});
  // A port another window of this program works on is not opened: the form
  // stays usable and says who has the port.
  if (const std::string busy = PortBusyReason(connection_.port); !busy.empty()) {
    view_.SetFormEnabled(true);
    ShowStatus(busy);
    view_.PushForm();
    return;
  }
  const bool opened = static_cast<bool>(port_.Open());
  if (opened) {
    view_.SetFormEnabled(true);
    port_.Close();
  }
  char text[96];
  std::snprintf(text, sizeof text,
                opened ? "Init COM:%d Baudrate:%d Success ." : "Init COM:%d Baudrate:%d Fail !",
                connection_.port, connection_.baudRate);
  ShowStatus(text);
  if (!opened) view_.ExplainStatus(port_.openFailureReason());
  view_.PushForm();
}

void CWindowController::Shutdown() {
  terminal_.Shutdown();
  operations_.Shutdown();
}

bool CWindowController::StartTerminal(const TerminalRequest& request) {
  if (IsBusy() || PortHeldElsewhere()) return false;
  terminal_.Start(request, connection_);
  return true;
}

// ---- Commands -------------------------------------------------------------

void CWindowController::OnMainSetting() {
  if (IsBusy()) return;
  const auto settings = view_.EditMainSetting();
  if (!settings) return;
  TakeSettings(*settings);
  view_.SchedulePortCheck(true);
}

void CWindowController::ReadGroup(Group group) {
  GroupSelection selection{};
  selection[static_cast<int>(group)] = true;
  StartOperation(OperationKind::Read, selection);
}

void CWindowController::SendGroup(Group group) {
  if (IsBusy()) return;
  if (group != Group::Kpn) view_.PullForm();  // the keypad Send starts without a pull
  GroupSelection selection{};
  selection[static_cast<int>(group)] = true;
  StartOperation(OperationKind::Send, selection);
}

void CWindowController::ReadAll() {
  if (IsBusy()) return;
  view_.PullForm();
  GroupSelection all;
  all.fill(true);
  StartOperation(OperationKind::Read, all);
  readingAll_ = IsBusy();
  if (IsBusy()) journal_.Begin("read", {}, model_.values);
}

void CWindowController::SendAll() {
  if (IsBusy()) return;
  view_.PullForm();
  StartOperation(OperationKind::SendAll, {});
  if (IsBusy()) journal_.Begin("write", model_.SendAllSelection(), model_.values);
}

void CWindowController::Identify() { StartOperation(OperationKind::Identify, {}); }

void CWindowController::CompareWithTracker() {
  if (IsBusy()) return;
  if (PortHeldElsewhere()) return;
  view_.PullForm();
  ClearDifferences();
  GroupSelection all;
  all.fill(true);
  // The same Read as Read All on the wire; its values go to trackerValues_.
  trackerValues_ = model_.values;
  operations_.Start(OperationKind::Read, all, model_, connection_, true);
  comparing_ = IsBusy();  // its events arrive later, on this thread
}

void CWindowController::FieldEdited(int id) {
  if (comparison_.Unmark(id)) view_.MarkDifferences(comparison_.marks());
}

void CWindowController::FormLoaded() {
  ClearDifferences();
  origin_.Loaded();
}

void CWindowController::ClearDifferences() {
  if (comparison_.Clear()) view_.MarkDifferences(comparison_.marks());
  if (differencesListed_) view_.CloseDifferences();
  differencesListed_ = false;
  if (comparisonShown_) ShowStatus({});
}

void CWindowController::ShowStatus(const std::string& text, bool fromComparison) {
  comparisonShown_ = fromComparison;
  view_.SetStatus(text);
}

bool CWindowController::PortHeldElsewhere() {
  const std::string busy = PortBusyReason(connection_.port);
  if (!busy.empty()) ShowStatus(busy);
  return !busy.empty();
}

void CWindowController::StartOperation(OperationKind kind, const GroupSelection& selection) {
  if (IsBusy()) return;
  if (PortHeldElsewhere()) return;
  // A value that breaks its field's rule stops a Send before the port opens.
  const GroupSelection sent = kind == OperationKind::SendAll ? model_.SendAllSelection() : selection;
  const bool sends = kind == OperationKind::Send || kind == OperationKind::SendAll;
  if (sends && !model_.CheckSendRules(sent, view_)) return;
  if (kind == OperationKind::Read) ClearDifferences();
  // The engine works on its own copy of the form and of the connection.
  operations_.Start(kind, selection, model_, connection_);
}

void CWindowController::OnBusyChanged(bool busy) {
  if (busy) view_.SchedulePortCheck(false);  // no port check under a running operation
  view_.ShowBusy(busy);
  if (busy) return;
  if (checkPending_) {
    checkPending_ = false;
    view_.SchedulePortCheck(true);
  }
}

// ---- What the engine reports ----------------------------------------------

void CWindowController::OperationStarted() { view_.SetFormEnabled(false); }

void CWindowController::StatusChanged(const std::string& text) { ShowStatus(text); }

void CWindowController::StatusExplained(const std::string& detail) { view_.ExplainStatus(detail); }

void CWindowController::PopupRequested(const PopupRequest& p) { view_.ShowPopup(p); }

void CWindowController::HistoryAppended(const std::string& line) { view_.AppendHistory(line); }

void CWindowController::PreviewBuilt(int id, const std::string& shown, const std::string& stored) {
  model_.values.Text(id) = stored;
  view_.SetControlText(id, shown);
}

void CWindowController::GroupStarted(Group group, int index, int count) {
  view_.ShowProgress(
      "Group " + std::to_string(index) + " of " + std::to_string(count) + ": RV" + Info(group).name, index,
      count);
}

void CWindowController::WakeUpAttempt(int attempt, int count) {
  view_.ShowProgress("Waking the tracker: " + std::to_string(attempt) + " of " + std::to_string(count),
                     attempt, count);
}

void CWindowController::GroupRead(Group group, const CFormModel& reading) {
  if (comparing_) {
    trackerValues_ = reading.values;  // the engine's copy holds every group read so far
    return;
  }
  if (!readingAll_) origin_.GroupRead(connection_.port);
  model_.TakeRecord(group, reading);
  model_.PutReplyIntoForm(group, view_, [&] { view_.PushValues(CFormModel::ReplyValueIds(group)); });
}

void CWindowController::FirmwareVersionRead(const std::string& version) {
  if (!comparing_) firmwareVersion_ = version;
}

void CWindowController::IdentityRead(const TrackerIdentity& id) {
  journal_.IdentityRead(connection_.port, id);
  origin_.Identified(connection_.port, id);
  const auto item = [](const std::string& text) { return text.empty() ? std::string("unknown") : text; };
  const std::string message =
      "IMEI: " + item(id.imei) + (id.imei.empty() || id.imeiValid ? "" : " (invalid)") +
      "\nICCID: " + item(id.iccid) + "\nFirmware: " + item(id.firmware) + "\nSignal: " + SignalText(id.rssi);
  view_.ShowPopup({kAppTitle, message, kIconSuccess, false, 1000, {}});
}

void CWindowController::OperationFinished(const OperationResult& result) {
  view_.ShowProgress({}, 0, 0);
  if (!result.hint.empty()) view_.ShowHint(result.hint);
  if (!result.logError.empty()) view_.NoteLogFailure(result.logError);
  std::string device;
  for (const PortEntry& entry : ports_)
    if (entry.number == connection_.port) device = entry.devicePath;
  if (const std::string note = journal_.Finish(result, connection_.port, device, firmwareVersion_);
      !note.empty())
    view_.NoteJournalProblem(note);
  if (readingAll_) {
    readingAll_ = false;
    origin_.ReadAll(connection_.port, result.ok());
  }
  if (comparing_) {
    comparing_ = false;
    if (result.ok()) {
      comparison_.Take(model_.values, trackerValues_);
      ShowStatus(comparison_.StatusText(), true);
      view_.MarkDifferences(comparison_.marks());
      view_.ListDifferences(comparison_.differences());
      differencesListed_ = true;
    }
  }
  view_.SetFormEnabled(true);
  operations_.Finished();
}

}  // namespace kestrun
