// The window's side of the device engine: every event the worker reports is
// carried out on the window thread, and the worker waits until it has been, so
// the screen changes in the order and at the moments the operation reaches
// them. Once detached (the view is going away) events are dropped at once and
// a waiting worker is released, so stopping and joining it cannot deadlock.
#pragma once

#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "link/EngineEvents.h"

namespace kestrun {

class CKestrunView;

class CWindowEvents : public IEngineEvents {
 public:
  explicit CWindowEvents(CKestrunView& view);
  // From now on nothing reaches the view; a worker waiting for the window is
  // let go. Window thread only.
  void Detach();

  void OperationStarted() override;
  void StatusChanged(const std::string& text) override;
  void StatusExplained(const std::string& detail) override;
  void PopupRequested(const PopupRequest& popup) override;
  void HistoryAppended(const std::string& line) override;
  void PreviewBuilt(int id, const std::string& shown, const std::string& stored) override;
  void GroupRead(Group group, const CFormModel& reading) override;
  void FirmwareVersionRead(const std::string& version) override;
  void OperationFinished(const OperationResult& result) override;

 private:
  struct Gate {
    std::mutex mutex;
    std::condition_variable applied;
    bool detached = false;
  };
  // Runs `apply` on the window thread and waits until it has run (or the
  // view has been detached).
  void Deliver(std::function<void(CKestrunView&)> apply);

  CKestrunView& view_;
  std::shared_ptr<Gate> gate_ = std::make_shared<Gate>();
};

}  // namespace kestrun
