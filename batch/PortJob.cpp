#include "batch/PortJob.h"

#include <chrono>

#include "settings/ConfigFile.h"

namespace kestrun::batch {

namespace {

// An empty form that takes the tracker's replies as they come.
CFormModel LiveForm(const std::string& password) {
  CFormModel form;
  form.SetPassword(password);
  form.liveUpdate = true;
  return form;
}

}  // namespace

CPortJob::CPortJob(const JobPlan& plan, int port, std::string device, std::string outputFile,
                   std::string logPath, IJobProgress& progress, std::size_t row)
    : plan_(plan),
      port_(port),
      outputFile_(std::move(outputFile)),
      logPath_(std::move(logPath)),
      progress_(progress),
      row_(row) {
  report_.command = plan.command;
  report_.port = port;
  report_.device = std::move(device);
  report_.file = plan.command == Command::Read ? outputFile_ : plan.file;
  report_.capped = plan.capped;
}

void CPortJob::Cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  cancelled_ = true;
  engine_.Stop();
}

void CPortJob::Show(const std::string& text) {
  progress_.Update(row_, text);
  if (plan_.onStatus) plan_.onStatus(port_, text);
}

void CPortJob::Tell(JobEvent::Kind kind, const std::function<void(JobEvent&)>& fill) {
  if (!plan_.onEvent) return;
  JobEvent event;
  event.kind = kind;
  event.phase = phase_;
  fill(event);
  plan_.onEvent(port_, event);
}

void CPortJob::Run() {
  const auto start = std::chrono::steady_clock::now();
  CFormModel form = LiveForm(plan_.connection.password);

  switch (plan_.command) {
    case Command::Read: {
      GroupSelection all;
      all.fill(true);
      if (RunStep(OperationKind::Read, all, form, "read")) {
        report_.groupsRead = GroupNamesOf(all, ReadOrder());
        WriteOutputFile(engine_.Form().values);
      }
      break;
    }
    case Command::Write:
    case Command::Verify: {
      form.values = plan_.values;
      if (Send(form) && plan_.command == Command::Verify) Verify(plan_.values);
      break;
    }
    case Command::Diff: {
      if (!RunStep(OperationKind::Read, plan_.readGroups, form, "read")) break;
      report_.groupsRead = GroupNamesOf(plan_.readGroups, ReadOrder());
      const auto keys = ReadKeys(plan_.readGroups);
      report_.keysCompared = static_cast<int>(keys.size());
      report_.differences = Compare(keys, plan_.values, engine_.Form().values);
      break;
    }
    case Command::Identify: RunStep(OperationKind::Identify, {}, form, "identify"); break;
    case Command::Provision: RunProvision(form); break;
    default: break;
  }

  if (report_.outcome.empty()) {
    const bool compares = plan_.command == Command::Diff || plan_.command == Command::Verify ||
                          plan_.command == Command::Provision;
    if (compares && !report_.differences.empty()) {
      report_.outcome = "different";
      report_.exitCode = kExitDifferent;
    } else {
      report_.outcome = compares ? "equal" : "ok";
    }
  }
  report_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (plan_.onFinished) plan_.onFinished(report_);
  Show("done: " + OutcomeWords(report_));
}

void CPortJob::TakeDecision() {
  report_.outcome = decision_.outcome;
  report_.exitCode = decision_.exitCode;
  report_.message = decision_.message;
  report_.rowKey = decision_.rowKey;
  CarryRowNotes(decision_, report_);
}

void CPortJob::RunProvision(CFormModel& form) {
  const ProvisionSetup& setup = *plan_.provision;
  report_.groupsSent.clear();
  if (setup.dryRun) {
    // Read-only: the identity alone, then what would be sent; no row is claimed.
    if (!RunStep(OperationKind::Identify, {}, form, "identify")) return;
    decision_ = DecideTracker(setup, plan_.values, plan_.sendGroups, plan_.connection.password,
                              report_.identity, port_, report_.device, false);
    if (plan_.onDecision) plan_.onDecision(port_, decision_);
    if (!decision_.write) return TakeDecision();
    report_.outcome = "dry-run";
    report_.rowKey = decision_.rowKey;
    report_.capped = decision_.capped;
    CarryRowNotes(decision_, report_);
    report_.wouldSend = LinesToSend(plan_, decision_.values);
    report_.groupsSent = GroupNamesOf(plan_.sendGroups, SendOrder());
    if (!decision_.message.empty()) report_.notes.push_back("row: " + decision_.message);
    return;
  }
  form.values = plan_.values;
  // On the engine's worker, between the identity queries and the first settings line.
  AfterIdentify decide = [this](const TrackerIdentity& identity, CFormModel& f, OperationResult& declined) {
    decision_ = DecideTracker(*plan_.provision, plan_.values, plan_.sendGroups, plan_.connection.password,
                              identity, port_, report_.device, true);
    if (plan_.onDecision) plan_.onDecision(port_, decision_);
    if (!decision_.write) {
      declined.message = decision_.message;
      return false;
    }
    f.values = decision_.values;
    return true;
  };
  const bool sent = Send(form, decide);
  report_.rowKey = decision_.rowKey;
  report_.capped = decision_.capped;
  if (decision_.write) CarryRowNotes(decision_, report_);  // a declined one took them with the decision
  // A tracker skipped as done keeps the hash of the settings it holds, so the
  // next --skip-done run finds it done again.
  report_.settingsHash = decision_.settingsHash;
  if (sent) Verify(decision_.values);
}

bool CPortJob::Send(const CFormModel& form, AfterIdentify afterIdentify) {
  if (!RunStep(OperationKind::Send, plan_.sendGroups, form, "write", std::move(afterIdentify))) {
    TakePartialSend();
    return false;
  }
  report_.groupsSent = GroupNamesOf(plan_.sendGroups, SendOrder());
  report_.linesSent = lines_;
  return true;
}

void CPortJob::Verify(const CFormValues& sent) {
  if (!RunStep(OperationKind::Read, plan_.sendGroups, LiveForm(plan_.connection.password), "verify")) return;
  report_.groupsRead = GroupNamesOf(plan_.sendGroups, ReadOrder());
  const auto keys = SentKeys(sent, plan_.sendGroups);
  report_.keysCompared = static_cast<int>(keys.size());
  report_.differences = Compare(keys, sent, engine_.Form().values);
}

bool CPortJob::RunStep(OperationKind kind, const GroupSelection& selection, const CFormModel& form,
                       const char* phase, AfterIdentify afterIdentify) {
  OperationPlan operation;
  operation.kind = kind;
  operation.selection = selection;
  operation.form = form;
  Connection connection = plan_.connection;
  connection.port = port_;
  connection.logPath = logPath_;
  operation.SetConnection(connection.Port(), connection.logPath, connection.pacing);
  operation.identify = plan_.identify && kind != OperationKind::Identify && steps_++ == 0;
  if (operation.identify) operation.afterIdentify = std::move(afterIdentify);
  // What is written and read back comes from the tracker identified: write,
  // verify and provision ask its IMEI again at the end of each bracket.
  const bool writes = plan_.command == Command::Write || plan_.command == Command::Verify ||
                      plan_.command == Command::Provision;
  operation.recheckImei = plan_.identify && writes && kind != OperationKind::Identify;
  operation.expectImei = report_.identity.imei;

  phase_ = phase;
  Tell(JobEvent::Kind::Phase, [](JobEvent&) {});
  group_.clear();
  status_.clear();
  detail_.clear();
  popups_.clear();
  lines_ = 0;
  groupsStarted_ = {};
  current_.reset();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cancelled_) {
      OperationResult stopped;
      stopped.outcome = Outcome::Stopped;
      stopped.message = "stopped before " + std::string(phase);
      Finish(stopped);
      return false;
    }
    if (!engine_.Start(std::move(operation))) {
      OperationResult busy;
      busy.outcome = Outcome::TrackerFailed;
      busy.message = "the port's engine was still busy";
      Finish(busy);
      return false;
    }
  }
  engine_.Wait();
  const OperationResult result = engine_.LastResult();
  // Said once per port: the first step whose log failed.
  if (report_.logError.empty()) report_.logError = result.logError;
  if (result.ok()) {
    // Failure popups of a successful operation are the caps its replies needed.
    report_.notes.insert(report_.notes.end(), popups_.begin(), popups_.end());
    return true;
  }
  Finish(result);
  return false;
}

void CPortJob::Finish(const OperationResult& result) {
  report_.message = result.message.empty() ? status_ : result.message;
  report_.detail = result.detail.empty() ? detail_ : result.detail;
  // The last failure popup says why the step failed ("No Response !"); the
  // ones before it are caps on the way.
  if (!popups_.empty()) {
    const std::string last = popups_.back();
    popups_.pop_back();
    report_.notes.insert(report_.notes.end(), popups_.begin(), popups_.end());
    if (last != report_.message && report_.detail.empty()) report_.detail = last;
  }
  // What to do about a known cause, in the window's words.
  if (!result.hint.empty() && report_.detail.find(result.hint) == std::string::npos)
    report_.detail += (report_.detail.empty() ? "" : "; ") + result.hint;
  switch (result.outcome) {
    case Outcome::PortNotOpened:
      report_.outcome = "port-not-opened";
      report_.exitCode = kExitPortFailed;
      break;
    case Outcome::Stopped:
      report_.outcome = "stopped";
      report_.exitCode = kExitInterrupted;
      break;
    case Outcome::NothingSelected:
    case Outcome::NothingToSend:
      report_.outcome = "nothing-to-send";
      report_.exitCode = kExitUsage;
      break;
    case Outcome::Declined: TakeDecision(); break;
    case Outcome::TrackerChanged:
      report_.outcome = "tracker-changed";
      report_.exitCode = kExitTrackerFailed;
      break;
    case Outcome::TrackerFailed:
    case Outcome::Success:  // not reached
      report_.outcome = "tracker-failed";
      report_.exitCode = kExitTrackerFailed;
      break;
  }
}

// A write that failed on the way may still have changed the tracker: the
// groups that went through before the failure, and every line written.
void CPortJob::TakePartialSend() {
  GroupSelection done = groupsStarted_;
  // The group under way did not go through when one of its lines failed
  // ("Send AT+RVxxx Fail !"); a stop or a failed closing exchange comes
  // only after a group's last line.
  const bool lineFailed = status_.rfind("Send AT+RV", 0) == 0;
  if (current_ && lineFailed) done[static_cast<int>(*current_)] = false;
  report_.groupsSent = GroupNamesOf(done, SendOrder());
  report_.linesSent = lines_;
}

void CPortJob::WriteOutputFile(const CFormValues& values) {
  // With several ports each file is named by its tracker, where it has a valid IMEI.
  if (!plan_.outputBase.empty() && report_.identity.imeiValid)
    report_.file = outputFile_ = OutputFileWithTag(plan_.outputBase, report_.identity.imei);
  CIniFile file(outputFile_);
  if (const FileResult written = WriteConfigFile(file, values, report_.firmware); !written) {
    report_.outcome = "output-failed";
    report_.exitCode = kExitOutputFailed;
    report_.message = "could not write the config file";
    report_.detail = written.Message();
  }
}

// ---- Engine events (on the engine's worker) --------------------------------

void CPortJob::StatusChanged(const std::string& text) {
  status_ = text;
  if (text.empty()) return;
  Tell(JobEvent::Kind::Status, [&](JobEvent& e) { e.text = text; });
  Show(phase_ + (group_.empty() ? "" : " " + group_) + "  " + text);
}

void CPortJob::StatusExplained(const std::string& detail) { detail_ = detail; }

void CPortJob::PopupRequested(const PopupRequest& popup) {
  if (popup.iconKind == kIconFailure) popups_.push_back(popup.message);
}

void CPortJob::HistoryAppended(const std::string&) { ++lines_; }

void CPortJob::GroupStarted(Group group, int index, int count) {
  report_.answered = true;  // groups start once the tracker is awake
  groupsStarted_[static_cast<int>(group)] = true;
  current_ = group;
  group_ = std::to_string(index) + "/" + std::to_string(count);
  Tell(JobEvent::Kind::Group, [&](JobEvent& e) {
    e.group = group;
    e.index = index;
    e.count = count;
  });
}

void CPortJob::WakeUpAttempt(int attempt, int count) {
  Tell(JobEvent::Kind::Waking, [&](JobEvent& e) {
    e.index = attempt;
    e.count = count;
  });
}

void CPortJob::FirmwareVersionRead(const std::string& version) { report_.firmware = version; }

void CPortJob::IdentityRead(const TrackerIdentity& identity) {
  report_.identity = identity;
  report_.firmware = identity.firmware;
  Tell(JobEvent::Kind::Identity, [&](JobEvent& e) { e.identity = identity; });
}

void CPortJob::OperationFinished(const OperationResult&) {}

}  // namespace kestrun::batch
