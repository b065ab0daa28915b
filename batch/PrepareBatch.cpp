#include "batch/PrepareBatch.h"

#include <algorithm>

#include "batch/ConfigCheck.h"
#include "batch/ProvisionPlan.h"
#include "journal/RowNotes.h"
#include "journal/RowOrigin.h"
#include "protocol/TextList.h"
#include "settings/KeyCompare.h"

#ifndef KESTRUN_VERSION
#define KESTRUN_VERSION "0"
#endif

namespace kestrun::batch {

namespace {

void AddProblems(const std::string& file, const std::vector<Problem>& problems, Refusal& refusal) {
  for (const Problem& p : problems) refusal.problems.push_back(file + ": " + Describe(p));
}

}  // namespace

bool PrepareInput(const InputRequest& request, JobPlan& plan, Refusal& refusal) {
  ConfigInput input;
  std::vector<Problem> problems;
  if (!LoadConfigInput(request.file, input, problems, refusal.message)) {
    if (!refusal.message.empty()) return false;
    AddProblems(request.file, problems, refusal);
    refusal.message = "the file is not a usable config file; no port was touched";
    return false;
  }
  plan.values = input.values;
  if (request.command == Command::Diff)
    return DiffSelection(input, request.groups, plan.readGroups, refusal.message);
  if (!SendSelection(input, request.groups, plan.sendGroups, refusal.message)) return false;
  problems = CheckForSend(input.values, plan.sendGroups, request.password);
  if (problems.empty()) return true;
  const bool allCappable =
      std::all_of(problems.begin(), problems.end(), [](const Problem& p) { return p.cappable(); });
  if (!request.allowCaps || !allCappable) {
    AddProblems(request.file, problems, refusal);
    refusal.message = std::to_string(problems.size()) +
                      (problems.size() == 1 ? " value breaks" : " values break") +
                      " the form's rules; nothing was sent";
    if (allCappable && request.capsHint)
      refusal.message += " (--allow-caps sends them as the window corrects them)";
    return false;
  }
  ApplyCorrections(problems, plan.values);
  for (const Problem& p : problems)
    plan.capped.push_back(CappedText(p));
  return true;
}

bool PrepareTable(const ProvisionRequest& request, JobPlan& plan, Refusal& refusal) {
  if (PrepareProvision(request, plan, refusal.problems)) return true;
  const std::size_t n = refusal.problems.size();
  refusal.message = n == 1
                        ? "the template or the table is not usable; no port was touched"
                        : std::to_string(n) + " problems in the template or the table; no port was touched";
  return false;
}

bool OpenJournal(journal::CJournalStore& store, const std::string& target, std::string& error,
                 bool* damaged) {
  if (!store.Open(target, journal::CJournal::DefaultPath(), error)) {
    error = "journal " + error;
    return false;
  }
  if (!store.CheckIntegrity(error)) {
    if (damaged) *damaged = true;
    error = "journal " + error + "; no port was touched";
    return false;
  }
  return true;
}

bool DealingNeedsServer(const journal::CJournalStore& store) {
  return store.Shared() && !store.ServerReachable();
}

std::string OutputFileForPort(const std::string& file, int port) {
  return OutputFileWithTag(file, "COM" + std::to_string(port));
}

journal::JournalRow JournalRowFor(const PortReport& report, const JobPlan& plan) {
  journal::JournalRow row = journal::RowFrom("rv450-cli", KESTRUN_VERSION);
  row.port = report.port > 0 ? "COM" + std::to_string(report.port) : "";
  row.device = report.device;
  // The tracker's identity as the identify queries gave it; an invalid IMEI
  // is no key, so the row keeps none.
  const TrackerIdentity& id = report.identity;
  row.imei = id.Key();
  row.iccid = id.iccid;
  row.firmware = id.firmware.empty() ? report.firmware : id.firmware;
  row.signal = id.rssi < 0 ? std::string() : std::to_string(id.rssi);
  row.command = CommandName(report.command);
  row.templateFile = plan.file;
  if (report.command == Command::Provision) {
    row.settingsHash = report.settingsHash;
    row.rowKey = report.rowKey;
    row.notes = journal::NotesJson(report.tableNotes);  // the dealt line's #notes cells
  } else if (report.command == Command::Write || report.command == Command::Verify) {
    row.settingsHash = journal::SettingsHash(SentKeyLines(plan.values, plan.sendGroups));
  }
  row.groups = JoinedWith(report.groupsSent, ",");
  row.outcome = report.outcome;
  row.exitCode = report.exitCode;
  row.message = report.detail.empty() ? report.message : report.message + ": " + report.detail;
  row.seconds = report.seconds;
  return row;
}

}  // namespace kestrun::batch
