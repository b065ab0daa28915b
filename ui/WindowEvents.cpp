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

void CWindowEvents::OperationStarted() {
  Deliver([](IEngineEvents& w) { w.OperationStarted(); });
}

void CWindowEvents::StatusChanged(const std::string& text) {
  Deliver([text](IEngineEvents& w) { w.StatusChanged(text); });
}

void CWindowEvents::StatusExplained(const std::string& detail) {
  Deliver([detail](IEngineEvents& w) { w.StatusExplained(detail); });
}

void CWindowEvents::PopupRequested(const PopupRequest& p) {
  Deliver([p](IEngineEvents& w) { w.PopupRequested(p); });
}

void CWindowEvents::HistoryAppended(const std::string& line) {
  Deliver([line](IEngineEvents& w) { w.HistoryAppended(line); });
}

void CWindowEvents::PreviewBuilt(int id, const std::string& shown, const std::string& stored) {
  Deliver([id, shown, stored](IEngineEvents& w) { w.PreviewBuilt(id, shown, stored); });
}

void CWindowEvents::GroupStarted(Group group, int index, int count) {
  Deliver([group, index, count](IEngineEvents& w) { w.GroupStarted(group, index, count); });
}

void CWindowEvents::WakeUpAttempt(int attempt, int count) {
  Deliver([attempt, count](IEngineEvents& w) { w.WakeUpAttempt(attempt, count); });
}

void CWindowEvents::GroupRead(Group group, const CFormModel& reading) {
  auto copy = std::make_shared<CFormModel>(reading);
  Deliver([group, copy](IEngineEvents& w) { w.GroupRead(group, *copy); });
}

void CWindowEvents::FirmwareVersionRead(const std::string& version) {
  Deliver([version](IEngineEvents& w) { w.FirmwareVersionRead(version); });
}

void CWindowEvents::IdentityRead(const TrackerIdentity& identity) {
  Deliver([identity](IEngineEvents& w) { w.IdentityRead(identity); });
}

void CWindowEvents::TerminalReply(const std::string& chunk) {
  Deliver([chunk](IEngineEvents& w) { w.TerminalReply(chunk); });
}

void CWindowEvents::OperationFinished(const OperationResult& result) {
  Deliver([result](IEngineEvents& w) { w.OperationFinished(result); });
}

}  // namespace kestrun
