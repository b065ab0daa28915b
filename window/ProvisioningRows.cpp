#include "window/ProvisioningRows.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "batch/Station.h"
#include "window/WindowWords.h"

namespace kestrun {

using batch::JobEvent;

namespace {

// Where each part of an action fills the row's progress bar: from `from`
// percent, `span` percent wide. "identity" is the waking and identity
// queries at the start of the first step.
struct PhaseSpan {
  ProvisioningAction action;
  const char* phase;
  int from, span;
};
constexpr PhaseSpan kPhaseSpans[] = {
    {ProvisioningAction::Identify, "identity", 0, 90},  {ProvisioningAction::ReadToFiles, "identity", 0, 15},
    {ProvisioningAction::ReadToFiles, "read", 15, 85},  {ProvisioningAction::Provision, "identity", 0, 15},
    {ProvisioningAction::Provision, "write", 15, 45},   {ProvisioningAction::Provision, "verify", 60, 40},
    {ProvisioningAction::Verify, "identity", 0, 15},    {ProvisioningAction::Verify, "write", 15, 45},
    {ProvisioningAction::Verify, "verify", 60, 40},
};

PhaseSpan SpanOf(ProvisioningAction action, const std::string& phase) {
  for (const PhaseSpan& s : kPhaseSpans)
    if (s.action == action && phase == s.phase) return s;
  return SpanOf(action, "identity");
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
    case RowState::Waiting: return "waiting";
    case RowState::Waking: return "waking";
    case RowState::Identifying: return "identifying";
    case RowState::Writing: return "writing";
    case RowState::Verifying: return "verifying";
    case RowState::Reading: return "reading";
    case RowState::Done: return "done";
    case RowState::Failed: return "failed";
    case RowState::Stopped: return "stopped";
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
  const PhaseSpan identity = SpanOf(action, "identity");
  const PhaseState* phase = StateOf(event.phase);
  const auto reach = [&row](int percent) { row.percent = std::max(row.percent, percent); };
  switch (event.kind) {
    case JobEvent::Kind::Phase:
    case JobEvent::Kind::Waking:
      // Each step opens the port and wakes the tracker first; a later step
      // (the read-back) starts at its own share.
      row.state = RowState::Waking;
      row.stateText = StateWords(row.state);
      if (const PhaseSpan span = SpanOf(action, event.phase); span.from > identity.from + identity.span)
        reach(span.from);
      break;
    case JobEvent::Kind::Status:
      // The identity is asked once the tracker is awake: Identify's whole
      // step, and the start of a write or read that identifies.
      if (row.state == RowState::Waking && ((phase && phase->state == RowState::Identifying) ||
                                            event.text.rfind("Identifying Tracker", 0) == 0)) {
        row.state = RowState::Identifying;
        row.stateText = StateWords(row.state);
        reach(identity.from + identity.span / 2);
      }
      break;
    case JobEvent::Kind::Identity:
      row.imei =
          event.identity.imei + (event.identity.imei.empty() || event.identity.imeiValid ? "" : " (invalid)");
      row.iccid = event.identity.iccid;
      row.firmware = event.identity.firmware;
      row.signal = event.identity.rssi < 0 ? std::string() : SignalText(event.identity.rssi);
      reach(identity.from + identity.span);
      break;
    case JobEvent::Kind::Group: {
      if (!phase) break;
      const PhaseSpan span = SpanOf(action, event.phase);
      row.state = phase->state;
      row.stateText = phase->words ? std::string(phase->words) + " RV" + Info(event.group).name + " " +
                                         std::to_string(event.index) + " of " + std::to_string(event.count)
                                   : StateWords(row.state);
      if (event.count > 0) reach(span.from + span.span * (event.index - 1) / event.count);
      break;
    }
  }
}

int DealtLine(const batch::TrackerDecision& decision) {
  constexpr const char* kLine = "table line ";
  if (!decision.write || decision.rowKey.rfind("row ", 0) != 0 || decision.message.rfind(kLine, 0) != 0)
    return 0;
  return std::atoi(decision.message.c_str() + std::char_traits<char>::length(kLine));
}

namespace {

// Where a job that did not end was, and what the tracker took by then:
// "during writing RVTRI 3 of 7; RVSRI, RVBEI taken".
std::string Story(const std::string& during, const batch::PortReport& report) {
  std::string text = "during " + during;
  const bool writes = report.command == batch::Command::Provision || report.command == batch::Command::Verify;
  if (!writes) return text;
  std::string taken;
  for (const std::string& group : report.groupsSent) taken += (taken.empty() ? "" : ", ") + group;
  return text + "; " + (taken.empty() ? std::string("nothing") : taken) + " taken";
}

}  // namespace

void FinishRow(ProvisioningRow& row, const batch::PortReport& report, bool gone) {
  const std::string during = row.stateText;
  row.running = false;
  row.outcome = report.outcome;
  const bool good = report.exitCode == batch::kExitOk && report.journalError.empty();
  const bool stopped = report.outcome == "stopped";
  row.state = good ? RowState::Done : stopped ? RowState::Stopped : RowState::Failed;
  row.stateText = StateWords(row.state);
  if (good) row.percent = 100;
  if (batch::HasTracker(report)) row.answered = true;
  // These say what matters first; the system's reason (or the whole result) is left to the tooltip.
  row.story = stopped || (gone && !good) || (report.outcome == "skipped" && !report.message.empty());
  if (stopped)
    row.result = "stopped " + Story(during, report);
  else if (gone && !good)
    row.result = "failed: gone " + Story(during, report);
  else if (report.outcome == "skipped" && !report.message.empty())
    row.result = report.message;  // "already done at <time>" first; the whole text in the tooltip
  else
    row.result = batch::ResultText(report);
  row.result = InWindowWords(row.result);
  row.hint = InWindowWords(report.detail);
  if (report.outcome == "skipped" && !report.message.empty())
    row.hint = batch::ResultText(report) + (row.hint.empty() ? "" : "; " + row.hint);
  if (!report.journalError.empty())
    row.hint += (row.hint.empty() ? "" : "; ") + std::string("the journal row could not be written: ") +
                report.journalError;
  if (!report.logError.empty())
    row.hint += (row.hint.empty() ? "" : "; ") + std::string("the traffic log could not be written: ") +
                report.logError;
  row.file = report.command == batch::Command::Read && good ? report.file : std::string();
  row.seconds = report.seconds;
}

std::string StopQuestion(const std::vector<int>& ports) {
  std::string coms;
  for (int port : ports) coms += (coms.empty() ? "COM" : ", COM") + std::to_string(port);
  return ports.size() == 1 ? "The job on " + coms + " is running. Stop it?"
                           : "The jobs on " + coms + " are running. Stop them?";
}

}  // namespace kestrun
