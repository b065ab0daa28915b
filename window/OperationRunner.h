// The window's device operations: hands the engine a copy of the form and the
// connection, tracks whether one runs, and has the engine report through an
// event relay to the window thread. The window controller owns it. Destroying
// it detaches the relay, then stops and joins a running operation, so nothing
// reaches the window again.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/DeviceEngine.h"
#include "settings/Connection.h"
#include "window/EventRelay.h"

namespace kestrun {

class COperationRunner {
 public:
  // `busyChanged` runs on the window thread when an operation starts or ends.
  COperationRunner(std::unique_ptr<IEventRelay> relay, std::function<void(bool busy)> busyChanged);
  ~COperationRunner();
  COperationRunner(const COperationRunner&) = delete;
  COperationRunner& operator=(const COperationRunner&) = delete;

  // Starts an operation on a copy of `form` and `connection`; nothing when one
  // runs. `quiet`: a read for a comparison (OperationPlan::quiet).
  void Start(OperationKind kind, const GroupSelection& selection, const CFormModel& form,
             const Connection& connection, bool quiet = false);
  // Starts an operation from a plan made by the caller; nothing when one runs.
  void Start(OperationPlan plan);
  // The engine's end, reported on the window thread.
  void Finished();
  // Asks a running operation to stop at its next step.
  void Stop() { engine_.Stop(); }
  // Detaches the relay, then stops and joins a running operation; what it
  // would still report is dropped. The destructor does the same.
  void Shutdown();
  bool busy() const { return busy_; }

 private:
  std::function<void(bool)> busyChanged_;
  bool busy_ = false;
  std::unique_ptr<IEventRelay> relay_;
  CDeviceEngine engine_{*relay_};  // after the relay it reports to
};

}  // namespace kestrun
