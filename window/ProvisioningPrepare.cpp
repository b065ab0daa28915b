// A start's preparation off the window thread: what Start, StartRow, Retry
// and StartStation check before a port (Main Setting, the ports, the
// template, the per-tracker table and the journal) runs on the worker of a
// CLatestWork, and its answer is taken in Deliver, where the rows (or the
// station) start. One preparation at a time; Stop drops it.
#include <algorithm>

#include "batch/PrepareBatch.h"
#include "window/ProvisioningModel.h"
#include "window/WindowWords.h"

namespace kestrun {

const char* CProvisioningModel::NothingToStart(StartKind kind) const {
  switch (kind) {
    case StartKind::Row: return "that port is busy or gone";
    case StartKind::Retry: return "no chosen port has a finished job to start again";
    default:
      // A second click while the ticked ports still run is no missing tick.
      return std::any_of(rows_.begin(), rows_.end(), [](const ProvisioningRow& r) { return r.checked; })
                 ? "every ticked port is busy or gone"
                 : "no port is ticked";
  }
}

std::vector<std::size_t> CProvisioningModel::Startable(StartKind kind, const std::vector<int>& ports) const {
  std::vector<std::size_t> rows;
  for (int port : ports) {
    const auto index = RowOf(port);
    if (!index) continue;
    const ProvisioningRow& row = rows_[*index];
    if (row.running || !row.present || (kind == StartKind::Ticked && !row.checked) ||
        (kind == StartKind::Row && row.watched) || (kind == StartKind::Retry && StationOn()))
      continue;
    rows.push_back(*index);
  }
  return rows;
}

bool CProvisioningModel::Ask(StartKind kind, ProvisioningAction action, const ProvisioningInputs& inputs,
                             std::vector<int> ports, std::string& error) {
  if (pending_) return false;  // the start being prepared goes first; this one is ignored
  if (kind != StartKind::Station) {
    std::vector<int> chosen;
    for (std::size_t i : Startable(kind, ports)) chosen.push_back(rows_[i].port);
    if (chosen.empty()) {
      error = NothingToStart(kind);
      return false;
    }
    ports = std::move(chosen);
  }
  pending_ = PendingStart{kind, action, inputs, std::move(ports)};
  preparer_->Ask({action, inputs, store_ == nullptr});
  SayBusy();
  return true;
}

CProvisioningModel::PrepareAnswer CProvisioningModel::Prepare(const PrepareRequest& request,
                                                              const std::atomic<bool>& stop) const {
  PrepareAnswer answer;
  answer.ok = PrepareFiles(request.action, request.inputs, answer.plan, answer.error, &stop);
  // Every row goes to the journal rv450-cli keeps, committed as its job ends.
  // Checked once, at the first start: a damaged page would otherwise show
  // only when the first tracker's row is committed, after its settings went out.
  if (answer.ok && request.openStore) {
    answer.triedStore = true;
    answer.store = std::make_unique<journal::CJournalStore>();
    answer.ok = batch::OpenJournal(*answer.store, JournalTarget(), answer.error, &answer.journalProblem);
    if (!answer.ok) answer.store.reset();
  }
  return answer;
}

void CProvisioningModel::TakePrepared() {
  std::optional<PrepareAnswer> answer = preparer_ ? preparer_->Take() : std::nullopt;
  // DropPreparation drops the answer with the start, so one here is the pending start's.
  if (!answer || !pending_) return;
  const PendingStart start = std::move(*pending_);
  pending_.reset();
  std::string error = std::move(answer->error);
  bool ok = answer->ok;
  if (answer->triedStore) journalProblem_ = answer->journalProblem;
  // The hand-over: only while no journal is open, so no job thread uses store_ yet.
  if (answer->store && !store_) store_ = std::move(answer->store);
  batch::JobPlan& plan = answer->plan;
  if (ok) {
    // provision: the journal deals rows of a table without a key and answers for done trackers.
    if (plan.provision) plan.provision->store = store_.get();
    ok = CheckDealing(plan, start.inputs, *store_, error);
  }
  const bool aboutChoices = !ok;
  if (!ok) {
    error = InWindowWords(error);
  } else if (start.kind == StartKind::Station) {
    BeginStation(start.action, std::move(plan));
  } else if (const std::vector<std::size_t> rows = Startable(start.kind, start.ports); rows.empty()) {
    // The rows chosen at the click went, started or were unticked meanwhile.
    error = NothingToStart(start.kind);
    ok = false;
  } else {
    ok = Launch(rows, start.action, plan, start.kind == StartKind::Retry, error);
  }
  SayBusy();
  if (prepared)
    prepared({start.action, start.kind == StartKind::Station, ok, ok ? std::string() : error, aboutChoices});
}

void CProvisioningModel::DropPreparation() {
  if (!pending_) return;
  // The check under way ends early; its answer is not taken.
  if (preparer_) preparer_->Drop();
  const PendingStart start = std::move(*pending_);
  pending_.reset();
  SayBusy();
  if (prepared) prepared({start.action, start.kind == StartKind::Station, false, {}});
}

}  // namespace kestrun
