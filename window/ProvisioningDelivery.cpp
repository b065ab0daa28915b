// What the jobs and stations report, applied to the rows on the window thread.
#include "window/ProvisioningModel.h"

#include <algorithm>
#include <filesystem>

#include "port/Utf8Path.h"
#include "window/PortsInUse.h"
#include "window/ProvisioningParts.h"
#include "window/ProvisioningRows.h"
#include "window/ProvisioningSummary.h"

namespace kestrun {

namespace fs = std::filesystem;

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

bool CProvisioningModel::Busy() const {
  return !jobs_.empty() || pending_ ||
         std::any_of(rows_.begin(), rows_.end(), [](const ProvisioningRow& r) { return r.running; });
}

void CProvisioningModel::SayBusy() {
  const bool busy = Busy();
  if (busy == busySaid_) return;
  busySaid_ = busy;
  if (busyChanged) busyChanged(busy);
}

void CProvisioningModel::BeginJob(ProvisioningRow& row) {
  ProvisioningRow kept = row;
  row = ProvisioningRow{};
  row.port = kept.port;
  row.device = kept.device;
  row.checked = kept.checked;
  row.answered = kept.answered;
  row.watched = kept.watched;
  row.running = true;
  row.started = std::chrono::steady_clock::now();
  row.state = RowState::Waking;
  row.stateText = StateWords(row.state);
}

std::string CProvisioningModel::DeviceNow(int port) const {
  std::error_code ec;
  for (const PortEntry& p : DiscoverPorts(discovery_))
    if (p.number == port) return fs::exists(PathFromUtf8(p.openPath), ec) ? p.devicePath : std::string();
  return {};
}

void CProvisioningModel::Finish(ProvisioningRow& row, const batch::PortReport& report, bool tracker) {
  // A job that failed because its device went away tells where it was.
  // The ports are listed once, and only when the answer matters.
  const bool failed = report.exitCode != batch::kExitOk;
  const std::string now = failed || !row.present ? DeviceNow(row.port) : std::string();
  const bool gone = failed && now.empty();
  FinishRow(row, report, gone);
  if (!gone && !row.present && now == row.device) row.present = true;
  if (tracker) AddFinished(finished_, {row.state, row.seconds, row.port, row.imei});
}

bool CProvisioningModel::Apply(Report& report, ProvisioningRow& row) {
  if (report.fromStation) {
    ApplyStation(report, row);
    return report.finished.has_value();
  }
  const auto job = jobs_.find(report.port);
  if (job == jobs_.end()) return false;
  if (report.dealtLine > 0) row.tableLine = report.dealtLine;
  if (report.event) ApplyEvent(row, actions_[row.port], *report.event);
  if (!report.finished) return false;
  // The job's thread has nothing left to do but return.
  if (job->second->thread.joinable()) job->second->thread.join();
  jobs_.erase(job);
  CPortsInUse::Process().Release(report.port, kHolder);
  Finish(row, *report.finished, true);
  actions_.erase(report.port);
  return true;
}

void CProvisioningModel::Deliver() {
  TakePrepared();
  std::deque<Report> reports;
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    reports.swap(queue_);
  }
  bool gone = false;
  for (Report& report : reports) {
    const auto index = RowOf(report.port);
    if (!index) continue;
    ProvisioningRow& row = rows_[*index];
    const bool finished = Apply(report, row);
    gone = gone || (finished && !row.present);
    if (rowChanged) rowChanged(*index);
    if (finished && rowFinished) rowFinished(row);
  }
  DropEndedWatches();
  // A row whose port went away during its job shows so.
  if (gone) RefreshPorts();
  SayBusy();
}

}  // namespace kestrun
