// The window's device operations: hands the engine a copy of the form and the
// connection, tracks whether one runs, and routes what the engine reports to
// the view through CWindowEvents. Destroying it stops and joins a running
// operation without touching the view again.
#pragma once

#include <functional>
#include <string>

#include "link/DeviceEngine.h"
#include "settings/Connection.h"
#include "ui/WindowEvents.h"

namespace kestrun {

class CKestrunView;

class COperationRunner {
 public:
  // `busyChanged` runs on the window thread when an operation starts or ends.
  COperationRunner(CKestrunView& view, std::function<void(bool busy)> busyChanged);
  ~COperationRunner();
  COperationRunner(const COperationRunner&) = delete;
  COperationRunner& operator=(const COperationRunner&) = delete;

  // Starts an operation on a copy of `form` and `connection`; nothing when one runs.
  void Start(OperationKind kind, const GroupSelection& selection, const CFormModel& form,
             const Connection& connection);
  // The engine's end, reported on the window thread.
  void Finished();
  // Asks a running operation to stop at its next step.
  void Stop() { engine_.Stop(); }
  bool busy() const { return busy_; }

 private:
  std::function<void(bool)> busyChanged_;
  bool busy_ = false;
  CWindowEvents events_;
  CDeviceEngine engine_{events_};  // after the events it reports to
};

}  // namespace kestrun
