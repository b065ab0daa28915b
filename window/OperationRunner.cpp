#include "window/OperationRunner.h"

namespace kestrun {

COperationRunner::COperationRunner(std::unique_ptr<IEventRelay> relay,
                                   std::function<void(bool busy)> busyChanged)
    : busyChanged_(std::move(busyChanged)), relay_(std::move(relay)) {}

COperationRunner::~COperationRunner() { Shutdown(); }

void COperationRunner::Shutdown() {
  // A running operation reports nothing more; it is stopped (closing its port)
  // and joined before the window goes. No event loop runs here.
  relay_->Detach();
  engine_.Stop();
  engine_.Wait();
}

void COperationRunner::Start(OperationKind kind, const GroupSelection& selection, const CFormModel& form,
                             const Connection& connection, bool quiet) {
  if (busy_) return;
  OperationPlan plan;
  plan.kind = kind;
  plan.selection = selection;
  plan.form = form;
  plan.quiet = quiet;
  plan.SetConnection(connection.Port(), connection.logPath, connection.pacing);
  Start(std::move(plan));
}

void COperationRunner::Start(OperationPlan plan) {
  if (busy_) return;
  busy_ = true;
  busyChanged_(true);
  if (!engine_.Start(std::move(plan))) Finished();
}

void COperationRunner::Finished() {
  busy_ = false;
  busyChanged_(false);
}

}  // namespace kestrun
