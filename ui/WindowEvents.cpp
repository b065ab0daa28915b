#include "ui/WindowEvents.h"

#include <QThread>

#include "ui/KestrunView.h"

namespace kestrun {

CWindowEvents::CWindowEvents(CKestrunView& view) : view_(view) {}

void CWindowEvents::Detach() {
  {
    std::lock_guard<std::mutex> lock(gate_->mutex);
    gate_->detached = true;
  }
  gate_->applied.notify_all();
}

void CWindowEvents::Deliver(std::function<void(CKestrunView&)> apply) {
  if (QThread::currentThread() == view_.thread()) {
    if (!gate_->detached) apply(view_);
    return;
  }
  auto done = std::make_shared<bool>(false);  // guarded by the gate's mutex
  {
    std::lock_guard<std::mutex> lock(gate_->mutex);
    if (gate_->detached) return;
  }
  // Queued to the view: if the view is destroyed first, Qt drops the call.
  QMetaObject::invokeMethod(
      &view_,
      [gate = gate_, done, apply = std::move(apply), view = &view_] {
        {
          std::lock_guard<std::mutex> lock(gate->mutex);
          if (gate->detached) return;
        }
        // Detach runs on this thread too, so the view stays attached meanwhile.
        apply(*view);
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
  Deliver([](CKestrunView& v) { v.SetFormEnabled(false); });
}

void CWindowEvents::StatusChanged(const std::string& text) {
  Deliver([text](CKestrunView& v) { v.SetStatus(text); });
}

void CWindowEvents::StatusExplained(const std::string& detail) {
  Deliver([detail](CKestrunView& v) { v.ExplainStatus(detail); });
}

void CWindowEvents::PopupRequested(const PopupRequest& p) {
  Deliver([p](CKestrunView& v) { v.ShowResult(p.caption, p.message, p.iconKind, p.autoClose, p.delayMs); });
}

void CWindowEvents::HistoryAppended(const std::string& line) {
  Deliver([line](CKestrunView& v) { v.AppendHistory(line); });
}

void CWindowEvents::PreviewBuilt(int id, const std::string& shown, const std::string& stored) {
  Deliver([id, shown, stored](CKestrunView& v) { v.ShowBuiltPreview(id, shown, stored); });
}

void CWindowEvents::GroupRead(Group group, const CFormModel& reading) {
  auto copy = std::make_shared<CFormModel>(reading);
  Deliver([group, copy](CKestrunView& v) { v.PutReplyIntoForm(group, *copy); });
}

void CWindowEvents::FirmwareVersionRead(const std::string& version) {
  Deliver([version](CKestrunView& v) { v.SetFirmwareVersion(version); });
}

void CWindowEvents::OperationFinished(const OperationResult& result) {
  Deliver([logError = result.logError](CKestrunView& v) {
    if (!logError.empty()) v.NoteLogFailure(logError);
    v.SetFormEnabled(true);
    v.OnOperationFinished();
  });
}

}  // namespace kestrun
