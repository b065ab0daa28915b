// Station mode and the per-row Stop and Retry of the Provisioning window's
// model. Each watched port has a batch::CStation of its own, which asks the
// port list (never the port) whether a device is there and starts the job
// when one appears; between jobs no byte goes to the port.
#include <filesystem>

#include "batch/PrepareBatch.h"
#include "port/Utf8Path.h"
#include "window/PortsInUse.h"
#include "window/ProvisioningModel.h"
#include "window/ProvisioningParts.h"

namespace kestrun {

namespace fs = std::filesystem;
using batch::JobEvent;
using batch::StationState;

bool CProvisioningModel::StartStation(ProvisioningAction action, const ProvisioningInputs& inputs,
                                      std::string& error) {
  if (StationOn()) return true;
  if (action == ProvisioningAction::ReadToFiles) {
    error = "station mode runs Identify, Provision or Verify";
    return false;
  }
  return Ask(StartKind::Station, action, inputs, {}, error);
}

void CProvisioningModel::BeginStation(ProvisioningAction action, batch::JobPlan shared) {
  auto plan = std::make_unique<batch::JobPlan>(std::move(shared));
  const auto post = [this](Report report) {
    report.fromStation = true;
    Post(std::move(report));
  };
  plan->onEvent = [post](int port, const JobEvent& event) {
    Report report = Report::Of(port);
    report.event = event;
    post(std::move(report));
  };
  plan->onDecision = [post](int port, const batch::TrackerDecision& decision) {
    Report dealt = Report::Of(port);
    dealt.dealtLine = DealtLine(decision);
    if (dealt.dealtLine > 0) post(std::move(dealt));
  };
  // The station calls this only for a port where a tracker answered.
  plan->onFinished = [this, basis = std::make_shared<const batch::JobPlan>(*plan)](batch::PortReport& report) {
    journal::JournalRow entry = batch::JournalRowFor(report, *basis);
    entry.program = "rv450-kestrun";
    std::string why;
    if (!store_->Append(entry, why)) report.journalError = why;
  };
  stationPlan_ = std::move(plan);
  stationAction_ = action;
  finished_.clear();
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].checked) WatchPort(i);
}

void CProvisioningModel::StopStation() {
  if (!StationOn()) return;
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].watched) {
      Unwatch(rows_[i].port);
      if (rowChanged) rowChanged(i);
    }
  stationPlan_.reset();
}

void CProvisioningModel::WatchPort(std::size_t index) {
  ProvisioningRow& row = rows_[index];
  const int port = row.port;
  if (const auto old = watches_.find(port); old != watches_.end()) {
    if (!old->second->ending) return;
    watches_.erase(old);  // its job was asked to stop: this waits for that
  }
  const std::string holder = CPortsInUse::Process().Holder(port);
  if (!holder.empty() && holder != kHolder) {
    row.result = PortBusyReason(port);
    return;
  }
  CPortsInUse::Process().Claim(port, kHolder);
  auto watch = std::make_unique<Watch>(*this);
  const DiscoveryPaths discovery = discovery_;
  const auto presence = [discovery](int number) {
    std::error_code ec;
    for (const PortEntry& p : DiscoverPorts(discovery))
      if (p.number == number) return fs::exists(PathFromUtf8(p.openPath), ec) ? p.devicePath : std::string();
    return std::string();
  };
  const std::string log = LogPathOf(port);
  watch->station = std::make_unique<batch::CStation>(*stationPlan_, std::vector<batch::StationPort>{{port, log}},
                                                     presence, watch->progress, watch->events);
  row.watched = true;
  row.finished = false;
  if (row.state == RowState::Idle) {
    row.state = RowState::Waiting;
    row.stateText = StateWords(row.state);
  }
  watches_[port] = std::move(watch);
  watches_[port]->station->Start();
}

void CProvisioningModel::Unwatch(int port) {
  if (const auto index = RowOf(port)) {
    ProvisioningRow& row = rows_[*index];
    row.watched = false;
    row.finished = false;
    if (row.state == RowState::Waiting) {
      row.state = RowState::Idle;
      row.stateText = StateWords(row.state);
    }
  }
  const auto found = watches_.find(port);
  if (found == watches_.end()) return;
  found->second->station->Cancel();
  found->second->ending = true;
  DropEndedWatches();
}

void CProvisioningModel::DropEndedWatches() {
  for (auto it = watches_.begin(); it != watches_.end();) {
    // A station asked to stop whose job has ended: joining it is quick.
    if (it->second->ending && it->second->station->State(it->first) != StationState::Running) {
      CPortsInUse::Process().Release(it->first, kHolder);
      it = watches_.erase(it);
    } else {
      ++it;
    }
  }
}

void CProvisioningModel::ApplyStation(const Report& report, ProvisioningRow& row) {
  if (report.station) {
    // A station asked to stop tells no more states.
    const auto watch = watches_.find(row.port);
    if (watch == watches_.end() || watch->second->ending) return;
    switch (*report.station) {
      case StationState::Waiting:
        row.finished = false;
        if (!row.running && row.state == RowState::Idle) {
          row.state = RowState::Waiting;
          row.stateText = StateWords(row.state);
        }
        break;
      case StationState::Running:
        BeginJob(row);
        row.device = report.device;
        row.present = true;
        SayBusy();
        break;
      case StationState::Finished: row.finished = !row.running; break;
    }
    return;
  }
  if (!row.running) return;
  if (report.dealtLine > 0) row.tableLine = report.dealtLine;
  if (report.event) ApplyEvent(row, stationAction_, *report.event);
  if (report.finished) Finish(row, *report.finished, report.tracker);
}

bool CProvisioningModel::NextTracker(std::size_t index) {
  if (index >= rows_.size() || !rows_[index].finished) return false;
  const auto watch = watches_.find(rows_[index].port);
  if (watch == watches_.end() || watch->second->ending) return false;
  if (!watch->second->station->Next(rows_[index].port)) return false;
  rows_[index].finished = false;
  return true;
}

int CProvisioningModel::NextAll() {
  int count = 0;
  for (std::size_t i = 0; i < rows_.size(); ++i) count += NextTracker(i) ? 1 : 0;
  return count;
}

void CProvisioningModel::StopRows(const std::vector<std::size_t>& rows) {
  for (std::size_t i : rows) {
    if (i >= rows_.size()) continue;
    const int port = rows_[i].port;
    if (const auto job = jobs_.find(port); job != jobs_.end()) job->second->job->Cancel();
    if (const auto watch = watches_.find(port); watch != watches_.end())
      watch->second->station->CancelJob(port);
    // A start still being prepared leaves this row out; with no row left it starts nothing.
    if (pending_ && pending_->kind != StartKind::Station) std::erase(pending_->ports, port);
  }
  if (pending_ && pending_->kind != StartKind::Station && pending_->ports.empty()) DropPreparation();
}

bool CProvisioningModel::Retry(const std::vector<std::size_t>& rows, ProvisioningAction action,
                               const ProvisioningInputs& inputs, std::string& error) {
  std::vector<int> again;
  bool any = false;
  for (std::size_t i : rows) {
    if (i >= rows_.size() || rows_[i].running) continue;
    if (rows_[i].watched) {
      any = NextTracker(i) || any;
    } else if (StationOn() && rows_[i].checked) {
      WatchPort(i);
      any = true;
    } else if (!StationOn() && rows_[i].present) {
      again.push_back(rows_[i].port);
    }
  }
  if (again.empty()) {
    if (!any) error = NothingToStart(StartKind::Retry);
    return any;
  }
  return Ask(StartKind::Retry, action, inputs, std::move(again), error);
}

}  // namespace kestrun
