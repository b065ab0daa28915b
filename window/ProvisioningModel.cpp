#include "window/ProvisioningModel.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <tuple>

#include "batch/ConfigCheck.h"
#include "batch/ProvisionPlan.h"
#include "cli/Cli.h"
#include "cli/JournalCommand.h"
#include "protocol/PasswordRule.h"
#include "settings/Connection.h"
#include "settings/MainSettings.h"
#include "window/PortsInUse.h"
#include "window/WindowJournal.h"

namespace kestrun {

namespace fs = std::filesystem;
using batch::JobEvent;

// The job's progress text, which the row shows from the job's events instead.
struct NoProgressText final : batch::IJobProgress {
  void Update(std::size_t, const std::string&) override {}
};

// One started row: its plan, its job and the thread the job runs on.
struct CProvisioningModel::Job {
  std::unique_ptr<batch::JobPlan> plan;
  NoProgressText progress;
  std::unique_ptr<batch::CPortJob> job;
  std::thread thread;
};

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

// The file Read to files starts from: each tracker's file is named after it,
// "rv450-<IMEI>.ini", or "rv450-COM5.ini" without a valid IMEI.
constexpr const char* kReadBaseName = "rv450.ini";

// What rv450-cli prints for a port, without the port and command it starts with.
std::string ResultText(const batch::PortReport& report) {
  std::ostringstream out;
  cli::PrintText(out, report);
  std::string line = out.str().substr(0, out.str().find('\n'));
  const std::size_t colon = line.find(": ");
  return colon == std::string::npos ? line : line.substr(colon + 2);
}

// The problems of a config file in rv450-cli's words, one a line.
std::string ProblemLines(const std::string& file, const std::vector<batch::Problem>& problems) {
  std::string text;
  for (const batch::Problem& p : problems) text += file + ": " + batch::Describe(p) + "\n";
  return text;
}

}  // namespace

CProvisioningModel::CProvisioningModel(DiscoveryPaths discovery, std::string workDir)
    : discovery_(std::move(discovery)), workDir_(std::move(workDir)) {
  RefreshPorts();
}

CProvisioningModel::~CProvisioningModel() {
  Stop();
  for (auto& [port, job] : jobs_)
    if (job->thread.joinable()) job->thread.join();
  // Whoever listened may be gone by now.
  wake = nullptr;
  rowChanged = nullptr;
  rowsReset = nullptr;
  rowFinished = nullptr;
  busyChanged = nullptr;
  Shutdown();
}

// ---- Rows -------------------------------------------------------------------

std::optional<std::size_t> CProvisioningModel::RowOf(int port) const {
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].port == port) return i;
  return std::nullopt;
}

bool CProvisioningModel::RefreshPorts() {
  const std::vector<PortEntry> ports = DiscoverPorts(discovery_);
  std::vector<ProvisioningRow> rows;
  for (const PortEntry& p : ports) {
    const auto old = RowOf(p.number);
    if (old && rows_[*old].device == p.devicePath) {
      rows.push_back(rows_[*old]);
      rows.back().present = true;
    } else {
      ProvisioningRow row;
      row.port = p.number;
      row.device = p.devicePath;
      rows.push_back(row);
    }
  }
  // A row whose job still runs stays (its port is gone or renamed) until the job ends.
  for (const ProvisioningRow& row : rows_) {
    if (!row.running) continue;
    const auto same =
        std::find_if(rows.begin(), rows.end(), [&](const ProvisioningRow& r) { return r.port == row.port; });
    if (same != rows.end() && same->running) continue;
    ProvisioningRow kept = row;
    kept.present = false;
    if (same != rows.end())
      *same = kept;
    else
      rows.insert(std::upper_bound(
                      rows.begin(), rows.end(), kept,
                      [](const ProvisioningRow& a, const ProvisioningRow& b) { return a.port < b.port; }),
                  kept);
  }
  const auto key = [](const std::vector<ProvisioningRow>& list) {
    std::vector<std::tuple<int, std::string, bool>> k;
    for (const ProvisioningRow& r : list) k.emplace_back(r.port, r.device, r.present);
    return k;
  };
  if (key(rows) == key(rows_)) return false;
  rows_ = std::move(rows);
  if (rowsReset) rowsReset();
  return true;
}

void CProvisioningModel::SetChecked(std::size_t row, bool checked) {
  if (row >= rows_.size() || rows_[row].checked == checked) return;
  rows_[row].checked = checked;
  if (rowChanged) rowChanged(row);
}

// ---- Starting ---------------------------------------------------------------

std::string CProvisioningModel::JournalTarget() const {
  // The window's one rule: RV450_JOURNAL, else Journal= of Main Setting, else the default.
  CMainSettings settings;
  settings.file.path = BuildMainSettingPath(workDir_);
  std::error_code ec;
  if (fs::is_regular_file(settings.file.path, ec)) settings.Load();
  return CWindowJournal::TargetFor(settings.journal);
}

bool CProvisioningModel::JournalRows(const std::string& imei, const std::string& outcome, int limit,
                                     std::vector<journal::JournalRow>& rows, std::string& error) const {
  const std::string target = JournalTarget();
  // A mistyped server string is never a file: no journal named after its password.
  if (error = journal::CJournalStore::RefusalOf(target); !error.empty()) return false;
  journal::CJournal local;
  if (!local.Open(journal::CJournalStore::IsServer(target) ? journal::CJournal::DefaultPath() : target,
                  error))
    return false;
  journal::JournalQuery query;
  query.imei = imei;
  query.outcome = outcome;
  query.limit = limit;
  return local.Rows(query, rows, error);
}

bool CProvisioningModel::Prepare(ProvisioningAction action, const ProvisioningInputs& inputs,
                                 batch::JobPlan& plan, std::string& error) {
  // Password, baud rate and pacing as Main Setting keeps them.
  const std::vector<PortEntry> ports = DiscoverPorts(discovery_);
  CMainSettings settings;
  settings.file.path = BuildMainSettingPath(workDir_);
  std::error_code ec;
  if (fs::is_regular_file(settings.file.path, ec)) {
    if (const FileResult loaded = settings.Load(); !loaded) {
      error = loaded.Message();
      return false;
    }
    plan.connection = ConnectionFromSettings(settings, ports);
  }
  plan.connection.discovery = discovery_;
  const std::string& password = plan.connection.password;
  if (const std::string fault = password.empty() ? "is empty" : PasswordFault(password); !fault.empty()) {
    error = "the password of Main Setting " + fault;
    return false;
  }
  plan.command = CommandOf(action);

  if (action == ProvisioningAction::ReadToFiles) {
    const std::string& folder = inputs.outputFolder;
    if (folder.empty() || !fs::is_directory(folder, ec) || ::access(folder.c_str(), W_OK) != 0) {
      error = "Read to files: " +
              (folder.empty() ? std::string("no folder chosen") : folder + " is no writable folder");
      return false;
    }
    plan.outputBase = (fs::path(folder) / kReadBaseName).string();
  }
  // The template and the table are checked as rv450-cli checks them.
  if ((action == ProvisioningAction::Provision || action == ProvisioningAction::Verify) &&
      inputs.templateFile.empty()) {
    error = "no template config file chosen";
    return false;
  }
  if (action == ProvisioningAction::Provision) {
    if (inputs.tableFile.empty()) {
      error = "no per-tracker table chosen";
      return false;
    }
    batch::ProvisionRequest request;
    request.templatePath = inputs.templateFile;
    request.tablePath = inputs.tableFile;
    request.password = password;
    request.assign = inputs.assign;
    request.skipDone = inputs.skipDone;
    std::vector<std::string> problems;
    if (!batch::PrepareProvision(request, plan, problems)) {
      for (const std::string& p : problems) error += p + "\n";
      error += problems.size() == 1 ? "the template or the table is not usable; no port was touched"
                                    : std::to_string(problems.size()) +
                                          " problems in the template or the table; no port was touched";
      return false;
    }
  }
  if (action == ProvisioningAction::Verify) {
    batch::ConfigInput input;
    std::vector<batch::Problem> problems;
    if (!batch::LoadConfigInput(inputs.templateFile, input, problems, error)) {
      if (error.empty())
        error = ProblemLines(inputs.templateFile, problems) +
                "the file is not a usable config file; no port was touched";
      return false;
    }
    plan.file = inputs.templateFile;
    plan.values = input.values;
    if (!batch::SendSelection(input, std::nullopt, plan.sendGroups, error)) return false;
    problems = batch::CheckForSend(plan.values, plan.sendGroups, password);
    if (!problems.empty()) {
      error = ProblemLines(inputs.templateFile, problems) + std::to_string(problems.size()) +
              (problems.size() == 1 ? " value breaks" : " values break") +
              " the form's rules; nothing was sent";
      return false;
    }
  }

  // Every row goes to the journal rv450-cli keeps, committed as its job ends.
  if (!storeOpen_) {
    if (!store_.Open(JournalTarget(), journal::CJournal::DefaultPath(), error)) {
      error = "journal " + error;
      return false;
    }
    // Checked once, at the first job: a damaged page would otherwise show
    // only when the first tracker's row is committed, after its settings went out.
    if (!store_.CheckIntegrity(error)) {
      journalProblem_ = true;
      error = "journal " + error + "; no port was touched";
      return false;
    }
    journalProblem_ = false;
    storeOpen_ = true;
  }
  // provision: the journal deals rows of a table without a key and answers for done trackers.
  if (plan.provision) plan.provision->store = &store_;
  // A row dealt while the shared server is away could be dealt twice.
  if (plan.provision && inputs.assign && store_.Shared() && !store_.ServerReachable()) {
    error =
        "Deal rows in order needs the shared journal server, which cannot be reached now; no port was "
        "touched";
    return false;
  }
  return true;
}

bool CProvisioningModel::Start(ProvisioningAction action, const ProvisioningInputs& inputs,
                               std::string& error) {
  std::vector<std::size_t> chosen;
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].checked && !rows_[i].running && rows_[i].present) chosen.push_back(i);
  if (chosen.empty()) {
    error = "no port is ticked";
    return false;
  }
  return Launch(chosen, action, inputs, error);
}

bool CProvisioningModel::StartRow(std::size_t row, ProvisioningAction action,
                                  const ProvisioningInputs& inputs, std::string& error) {
  if (row >= rows_.size() || rows_[row].running || !rows_[row].present) {
    error = "that port is busy or gone";
    return false;
  }
  return Launch({row}, action, inputs, error);
}

bool CProvisioningModel::Launch(const std::vector<std::size_t>& chosen, ProvisioningAction action,
                                const ProvisioningInputs& inputs, std::string& error) {
  batch::JobPlan shared;
  if (!Prepare(action, inputs, shared, error)) return false;
  // A port another window of this program uses is refused before any job starts.
  for (std::size_t i : chosen) {
    const std::string holder = CPortsInUse::Process().Holder(rows_[i].port);
    if (!holder.empty() && holder != kHolder) {
      error = PortBusyReason(rows_[i].port);
      return false;
    }
  }
  const bool wasBusy = Busy();
  for (std::size_t i : chosen) {
    ProvisioningRow& row = rows_[i];
    CPortsInUse::Process().Claim(row.port, kHolder);
    auto job = std::make_unique<Job>();
    job->plan = std::make_unique<batch::JobPlan>(shared);
    batch::JobPlan& plan = *job->plan;
    const int port = row.port;
    plan.onEvent = [this](int p, const JobEvent& event) { Post({p, event, std::nullopt}); };
    plan.onFinished = [this, &plan](batch::PortReport& report) {
      journal::JournalRow entry = cli::JournalRowFor(report, plan);
      entry.program = "rv450-kestrun";
      std::string why;
      if (!store_.Append(entry, why)) report.journalError = why;
      Post({report.port, std::nullopt, report});
    };
    const std::string output =
        plan.outputBase.empty() ? std::string() : cli::OutputFileForPort(plan.outputBase, port);
    const std::string log = (fs::path(workDir_) / ("AtLog-COM" + std::to_string(port) + ".log")).string();
    job->job = std::make_unique<batch::CPortJob>(plan, port, row.device, output, log, job->progress, 0);
    const ProvisioningRow kept = row;
    row = ProvisioningRow{};
    row.port = kept.port;
    row.device = kept.device;
    row.checked = kept.checked;
    row.running = true;
    row.started = std::chrono::steady_clock::now();
    row.state = RowState::Waking;
    row.stateText = StateWords(row.state);
    actions_[port] = action;
    job->thread = std::thread([j = job->job.get()] { j->Run(); });
    jobs_[port] = std::move(job);
    if (rowChanged) rowChanged(i);
  }
  if (!wasBusy && busyChanged) busyChanged(true);
  return true;
}

// ---- Stopping ---------------------------------------------------------------

void CProvisioningModel::Stop() {
  for (auto& [port, job] : jobs_) job->job->Cancel();
}

void CProvisioningModel::Shutdown() {
  Stop();
  // Each job ends at its next step, closes its port and leaves its report.
  for (auto& [port, job] : jobs_)
    if (job->thread.joinable()) job->thread.join();
  Deliver();
  for (auto& [port, job] : jobs_) CPortsInUse::Process().Release(port, kHolder);
  jobs_.clear();
}

// ---- Reports from the jobs ----------------------------------------------------

void CProvisioningModel::Post(Report report) {
  bool first;
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    first = queue_.empty();
    queue_.push_back(std::move(report));
  }
  // One wake-up per batch of reports: Deliver takes all that wait.
  if (first && wake) wake();
}

void CProvisioningModel::Deliver() {
  std::deque<Report> reports;
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    reports.swap(queue_);
  }
  bool ended = false, gone = false;
  for (Report& report : reports) {
    const auto index = RowOf(report.port);
    const auto job = jobs_.find(report.port);
    if (!index || job == jobs_.end()) continue;
    ProvisioningRow& row = rows_[*index];
    if (report.event) Apply(row, *report.event);
    if (report.finished) {
      // The job's thread has nothing left to do but return.
      if (job->second->thread.joinable()) job->second->thread.join();
      jobs_.erase(job);
      CPortsInUse::Process().Release(report.port, kHolder);
      Finish(row, *report.finished);
      actions_.erase(report.port);
      ended = true;
      gone = gone || !row.present;
    }
    if (rowChanged) rowChanged(*index);
    if (report.finished && rowFinished) rowFinished(row);
  }
  // A row whose port went away during its job goes with it.
  if (gone) RefreshPorts();
  if (ended && !Busy() && busyChanged) busyChanged(false);
}

void CProvisioningModel::Apply(ProvisioningRow& row, const JobEvent& event) {
  const ProvisioningAction action = actions_[row.port];
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

void CProvisioningModel::Finish(ProvisioningRow& row, const batch::PortReport& report) {
  row.running = false;
  row.outcome = report.outcome;
  const bool good = report.exitCode == batch::kExitOk && report.journalError.empty();
  row.state = good ? RowState::Done : RowState::Failed;
  row.stateText = StateWords(row.state);
  if (good) row.percent = 100;
  row.result = ResultText(report);
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
