#include "window/ProvisioningModel.h"


#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "batch/PrepareBatch.h"
#include "port/Platform.h"
#include "port/Utf8Path.h"
#include "protocol/PasswordRule.h"
#include "settings/Connection.h"
#include "settings/MainSettings.h"
#include "window/PortsInUse.h"
#include "window/ProvisioningParts.h"
#include "window/ProvisioningRows.h"
#include "window/WindowWords.h"
#include "window/WindowJournal.h"

namespace kestrun {

namespace fs = std::filesystem;
using batch::JobEvent;

namespace {

// The file Read to files starts from: each tracker's file is named after it,
// "rv450-<IMEI>.ini", or "rv450-COM5.ini" without a valid IMEI.
constexpr const char* kReadBaseName = "rv450.ini";

// Asked through the platform's file calls: UTF-16 paths on Windows.
bool IsRegularFile(const std::string& path) {
  struct stat st;
  return StatPath(path, st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

CProvisioningModel::CProvisioningModel(DiscoveryPaths discovery, std::string workDir, std::string logDir)
    : discovery_(std::move(discovery)), workDir_(std::move(workDir)), logDir_(std::move(logDir)) {
  preparer_ = std::make_unique<CLatestWork<PrepareRequest, PrepareAnswer>>(
      [this](const PrepareRequest& request, const std::atomic<bool>& stop) {
        return Prepare(request, stop);
      });
  preparer_->wake = [this] {
    if (wake) wake();
  };
  RefreshPorts();
}

std::string CProvisioningModel::LogPathOf(int port) const {
  return Utf8OfPath(PathFromUtf8(logDir_.empty() ? workDir_ : logDir_) /
                    ("AtLog-COM" + std::to_string(port) + ".log"));
}

CProvisioningModel::~CProvisioningModel() {
  // Whoever listened may be gone by now.
  rowChanged = nullptr;
  rowsReset = nullptr;
  rowFinished = nullptr;
  busyChanged = nullptr;
  prepared = nullptr;
  // A preparation under way ends first: its worker reads `wake`.
  preparer_.reset();
  Stop();
  for (auto& [port, job] : jobs_)
    if (job->thread.joinable()) job->thread.join();
  // The stations' threads report through `wake` as well: joined before it goes.
  for (auto& [port, watch] : watches_) CPortsInUse::Process().Release(port, kHolder);
  watches_.clear();
  wake = nullptr;
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
    // A port that comes back finds its row as it left it; a running row
    // whose port was renamed keeps its device until its job ends.
    const auto old = RowOf(p.number);
    ProvisioningRow row;
    if (old) row = rows_[*old];
    row.port = p.number;
    if (!row.running || row.device == p.devicePath) {
      row.device = p.devicePath;
      row.present = true;
    } else {
      row.present = false;
    }
    rows.push_back(row);
  }
  // A gone port keeps its row while it has a story: ticked, running or a result.
  for (const ProvisioningRow& row : rows_) {
    if (!row.running && !row.checked && row.state == RowState::Idle) continue;
    if (std::any_of(rows.begin(), rows.end(), [&](const ProvisioningRow& r) { return r.port == row.port; }))
      continue;
    ProvisioningRow kept = row;
    kept.present = false;
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
  // In station mode the tick is what a port is watched by.
  if (StationOn() && checked) WatchPort(row);
  if (StationOn() && !checked) Unwatch(rows_[row].port);
  if (rowChanged) rowChanged(row);
}

// ---- Starting ---------------------------------------------------------------

std::string CProvisioningModel::JournalTarget() const {
  // The window's one rule: RV450_JOURNAL, else Journal= of Main Setting, else the default.
  CMainSettings settings;
  settings.file.path = BuildMainSettingPath(workDir_);
  if (IsRegularFile(settings.file.path)) settings.Load();
  return CWindowJournal::TargetFor(settings.journal);
}

bool CProvisioningModel::Check(ProvisioningAction action, const ProvisioningInputs& inputs, std::string& error,
                               const std::atomic<bool>* stop) const {
  batch::JobPlan plan;
  journal::CJournalStore store;
  if (PrepareFiles(action, inputs, plan, error, stop) && batch::OpenJournal(store, JournalTarget(), error) &&
      CheckDealing(plan, inputs, store, error))
    return true;
  error = InWindowWords(error);
  return false;
}

bool CProvisioningModel::CheckDealing(const batch::JobPlan& plan, const ProvisioningInputs& inputs,
                                      const journal::CJournalStore& store, std::string& error) {
  // A row dealt while the shared server is away could be dealt twice.
  if (plan.provision && inputs.assign && batch::DealingNeedsServer(store)) {
    error =
        "Deal rows in order needs the shared journal server, which cannot be reached now; no port was "
        "touched";
    return false;
  }
  return true;
}

bool CProvisioningModel::PrepareFiles(ProvisioningAction action, const ProvisioningInputs& inputs,
                                      batch::JobPlan& plan, std::string& error,
                                      const std::atomic<bool>* stop) const {
  // Password, baud rate and pacing as Main Setting keeps them.
  const std::vector<PortEntry> ports = DiscoverPorts(discovery_);
  CMainSettings settings;
  settings.file.path = BuildMainSettingPath(workDir_);
  if (IsRegularFile(settings.file.path)) {
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
    if (folder.empty() || WritableFolderError(folder) != 0) {
      error = "Read to files: " +
              (folder.empty() ? std::string("no folder chosen") : folder + " is no writable folder");
      return false;
    }
    plan.outputBase = Utf8OfPath(PathFromUtf8(folder) / kReadBaseName);
  }
  // The template and the table are checked as rv450-cli checks them.
  if ((action == ProvisioningAction::Provision || action == ProvisioningAction::Verify) &&
      inputs.templateFile.empty()) {
    error = "no template config file chosen";
    return false;
  }
  batch::Refusal refusal;
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
    request.stop = stop;
    if (!batch::PrepareTable(request, plan, refusal)) {
      error = RefusalText(refusal);
      return false;
    }
  }
  if (action == ProvisioningAction::Verify) {
    plan.file = inputs.templateFile;
    if (!batch::PrepareInput({plan.command, inputs.templateFile, std::nullopt, password}, plan, refusal)) {
      error = RefusalText(refusal);
      return false;
    }
  }

  return true;
}

bool CProvisioningModel::Start(ProvisioningAction action, const ProvisioningInputs& inputs,
                               std::string& error) {
  if (StationOn()) {
    error = "station mode starts each ticked port by itself";
    return false;
  }
  std::vector<int> ports;
  for (const ProvisioningRow& row : rows_) ports.push_back(row.port);
  return Ask(StartKind::Ticked, action, inputs, std::move(ports), error);
}

bool CProvisioningModel::StartRow(std::size_t row, ProvisioningAction action,
                                  const ProvisioningInputs& inputs, std::string& error) {
  if (row >= rows_.size()) {
    error = NothingToStart(StartKind::Row);
    return false;
  }
  return Ask(StartKind::Row, action, inputs, {rows_[row].port}, error);
}

bool CProvisioningModel::Launch(const std::vector<std::size_t>& chosen, ProvisioningAction action,
                                const batch::JobPlan& shared, bool retry, std::string& error) {
  // A port another window of this program uses is refused before any job starts.
  for (std::size_t i : chosen) {
    const std::string holder = CPortsInUse::Process().Holder(rows_[i].port);
    if (!holder.empty() && holder != kHolder) {
      error = PortBusyReason(rows_[i].port);
      return false;
    }
  }
  // A new batch: the summary starts again. Retry mends the batch before,
  // whose summary goes on (each tracker counted as its latest job ended).
  if (!Busy() && !retry) finished_.clear();
  for (std::size_t i : chosen) {
    ProvisioningRow& row = rows_[i];
    CPortsInUse::Process().Claim(row.port, kHolder);
    auto job = std::make_unique<Job>();
    job->plan = std::make_unique<batch::JobPlan>(shared);
    batch::JobPlan& plan = *job->plan;
    const int port = row.port;
    plan.onEvent = [this](int p, const JobEvent& event) {
      Report report = Report::Of(p);
      report.event = event;
      Post(std::move(report));
    };
    plan.onDecision = [this](int p, const batch::TrackerDecision& decision) {
      Report dealt = Report::Of(p);
      dealt.dealtLine = DealtLine(decision);
      if (dealt.dealtLine > 0) Post(std::move(dealt));
    };
    plan.onFinished = [this, &plan](batch::PortReport& report) {
      journal::JournalRow entry = batch::JournalRowFor(report, plan);
      entry.program = "rv450-kestrun";
      std::string why;
      if (!store_->Append(entry, why)) report.journalError = why;
      Report ended = Report::Of(report.port);
      ended.finished = report;
      Post(std::move(ended));
    };
    const std::string output =
        plan.outputBase.empty() ? std::string() : batch::OutputFileForPort(plan.outputBase, port);
    const std::string log = LogPathOf(port);
    job->job = std::make_unique<batch::CPortJob>(plan, port, row.device, output, log, job->progress, 0);
    BeginJob(row);
    actions_[port] = action;
    job->thread = std::thread([j = job->job.get()] { j->Run(); });
    jobs_[port] = std::move(job);
    if (rowChanged) rowChanged(i);
  }
  return true;
}

// ---- Stopping ---------------------------------------------------------------

void CProvisioningModel::Stop() {
  DropPreparation();
  for (auto& [port, job] : jobs_) job->job->Cancel();
  std::vector<std::size_t> watched;
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].watched) watched.push_back(i);
  StopRows(watched);
}

void CProvisioningModel::Shutdown() {
  Stop();
  // Each station stops its job, joins its threads and leaves its reports.
  for (auto& [port, watch] : watches_) CPortsInUse::Process().Release(port, kHolder);
  watches_.clear();
  // Each job ends at its next step, closes its port and leaves its report.
  for (auto& [port, job] : jobs_)
    if (job->thread.joinable()) job->thread.join();
  Deliver();
  for (auto& [port, job] : jobs_) CPortsInUse::Process().Release(port, kHolder);
  jobs_.clear();
  SayBusy();
}

}  // namespace kestrun
