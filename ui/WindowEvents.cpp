#include "ui/WindowEvents.h"

#include <QThread>

namespace kestrun {

CWindowEvents::CWindowEvents(IEngineEvents& windowSide) : windowSide_(windowSide) {}

void CWindowEvents::Detach() {
  {
    std::lock_guard<std::mutex> lock(gate_->mutex);
    gate_->detached = true;
  }
  gate_->applied.notify_all();
}

void CWindowEvents::Deliver(std::function<void(IEngineEvents&)> apply) {
  if (QThread::currentThread() == context_.thread()) {
    if (!gate_->detached) apply(windowSide_);
    return;
  }
  auto done = std::make_shared<bool>(false);  // guarded by the gate's mutex
  {
    std::lock_guard<std::mutex> lock(gate_->mutex);
    if (gate_->detached) return;
  }
  // Queued to the context: if the relay is destroyed first, Qt drops the call.
  QMetaObject::invokeMethod(
      &context_,
      [gate = gate_, done, apply = std::move(apply), target = &windowSide_] {
        {
          std::lock_guard<std::mutex> lock(gate->mutex);
          if (gate->detached) return;
        }
        // Detach runs on this thread too, so the target stays attached meanwhile.
        apply(*target);
        {
          std::lock_guard<std::mutex> lock(gate->mutex);
          *done = true;
        }
        gate->applied.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(gate_->mutex);
  gate_->applied.wait(lock, [&] { return *done || gate_->detached; });
}

}  // namespace kestrun
