#include "window/ProvisioningRows.h"

#include <algorithm>

namespace kestrun {

using batch::JobEvent;

namespace {

// Where each step of an action fills the row's progress bar: from `from`
// percent, `span` percent wide.
struct PhaseSpan {
  ProvisioningAction action;
  const char* phase;
  int from, span;
};
constexpr PhaseSpan kPhaseSpans[] = {
    {ProvisioningAction::Identify, "identify", 0, 100}, {ProvisioningAction::Provision, "write", 0, 55},
    {ProvisioningAction::Provision, "verify", 55, 45},  {ProvisioningAction::Verify, "write", 0, 55},
    {ProvisioningAction::Verify, "verify", 55, 45},     {ProvisioningAction::ReadToFiles, "read", 0, 100},
};

PhaseSpan SpanOf(ProvisioningAction action, const std::string& phase) {
  for (const PhaseSpan& s : kPhaseSpans)
    if (s.action == action && phase == s.phase) return s;
  return {action, "", 0, 100};
}

// The row's state during a group step of each phase.
struct PhaseState {
  const char* phase;
  RowState state;
  const char* words;  // before the group: "writing RVTRI 3 of 8"; null: the words alone
};
constexpr PhaseState kPhaseStates[] = {
    {"identify", RowState::Identifying, nullptr},
    {"write", RowState::Writing, "writing"},
    {"verify", RowState::Verifying, nullptr},
    {"read", RowState::Reading, "reading"},
};

const PhaseState* StateOf(const std::string& phase) {
  for (const PhaseState& s : kPhaseStates)
    if (phase == s.phase) return &s;
  return nullptr;
}

}  // namespace

const char* StateWords(RowState state) {
  switch (state) {
    case RowState::Idle: return "idle";
    case RowState::Waking: return "waking";
    case RowState::Identifying: return "identifying";
    case RowState::Writing: return "writing";
    case RowState::Verifying: return "verifying";
    case RowState::Reading: return "reading";
    case RowState::Done: return "done";
    case RowState::Failed: return "failed";
  }
  return "";
}

batch::Command CommandOf(ProvisioningAction action) {
  switch (action) {
    case ProvisioningAction::Identify: return batch::Command::Identify;
    case ProvisioningAction::ReadToFiles: return batch::Command::Read;
    case ProvisioningAction::Provision: return batch::Command::Provision;
    case ProvisioningAction::Verify: return batch::Command::Verify;
  }
  return batch::Command::None;
}

void ApplyEvent(ProvisioningRow& row, ProvisioningAction action, const JobEvent& event) {
  const PhaseSpan span = SpanOf(action, event.phase);
  const PhaseState* phase = StateOf(event.phase);
  switch (event.kind) {
    case JobEvent::Kind::Phase:
    case JobEvent::Kind::Waking:
      // Each step opens the port and wakes the tracker first.
      row.state = RowState::Waking;
      row.stateText = StateWords(row.state);
      row.percent = std::max(row.percent, span.from);
      break;
    case JobEvent::Kind::Status:
      // The identity is asked once the tracker is awake: Identify's whole
      // step, and the start of a write or read that identifies.
      if (row.state == RowState::Waking && ((phase && phase->state == RowState::Identifying) ||
                                            event.text.rfind("Identifying Tracker", 0) == 0)) {
        row.state = RowState::Identifying;
        row.stateText = StateWords(row.state);
        row.percent = std::max(row.percent, span.from + span.span / 2);
      }
      break;
    case JobEvent::Kind::Identity:
      row.imei =
          event.identity.imei + (event.identity.imei.empty() || event.identity.imeiValid ? "" : " (invalid)");
      row.iccid = event.identity.iccid;
      row.firmware = event.identity.firmware;
      row.signal = event.identity.rssi < 0 ? std::string() : SignalText(event.identity.rssi);
      break;
    case JobEvent::Kind::Group:
      if (!phase) break;
      row.state = phase->state;
      row.stateText = phase->words ? std::string(phase->words) + " RV" + Info(event.group).name + " " +
                                         std::to_string(event.index) + " of " + std::to_string(event.count)
                                   : StateWords(row.state);
      if (event.count > 0) row.percent = span.from + span.span * (event.index - 1) / event.count;
      break;
  }
}

void FinishRow(ProvisioningRow& row, const batch::PortReport& report) {
  row.running = false;
  row.outcome = report.outcome;
  const bool good = report.exitCode == batch::kExitOk && report.journalError.empty();
  row.state = good ? RowState::Done : RowState::Failed;
  row.stateText = StateWords(row.state);
  if (good) row.percent = 100;
  row.result = batch::ResultText(report);
  row.hint = report.detail;
  if (!report.journalError.empty())
    row.hint += (row.hint.empty() ? "" : "; ") + std::string("the journal row could not be written: ") +
                report.journalError;
  if (!report.logError.empty())
    row.hint += (row.hint.empty() ? "" : "; ") + std::string("the traffic log could not be written: ") +
                report.logError;
  row.file = report.command == batch::Command::Read && good ? report.file : std::string();
  row.seconds = report.seconds;
}

}  // namespace kestrun
