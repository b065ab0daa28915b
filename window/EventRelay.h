// Carries what a device engine reports on its worker thread over to the
// window thread, where the window controller applies it. The worker waits
// until each event has been applied, so the screen changes in the order and
// at the moments the operation reaches them. Every event is wrapped here as
// a call on the window side holding copies of its arguments; a relay says
// only how such a call crosses to the window thread.
#pragma once

#include <functional>
#include <memory>

#include "engine/EngineEvents.h"

namespace kestrun {

class IEventRelay : public IEngineEvents {
 public:
  // From now on nothing is delivered, and a worker waiting for delivery is
  // let go (so stopping and joining it cannot deadlock). Window thread only.
  virtual void Detach() = 0;

  void OperationStarted() override {
    Deliver([](IEngineEvents& w) { w.OperationStarted(); });
  }
  void StatusChanged(const std::string& text) override {
    Deliver([text](IEngineEvents& w) { w.StatusChanged(text); });
  }
  void StatusExplained(const std::string& detail) override {
    Deliver([detail](IEngineEvents& w) { w.StatusExplained(detail); });
  }
  void PopupRequested(const PopupRequest& p) override {
    Deliver([p](IEngineEvents& w) { w.PopupRequested(p); });
  }
  void HistoryAppended(const std::string& line) override {
    Deliver([line](IEngineEvents& w) { w.HistoryAppended(line); });
  }
  void PreviewBuilt(int id, const std::string& shown, const std::string& stored) override {
    Deliver([id, shown, stored](IEngineEvents& w) { w.PreviewBuilt(id, shown, stored); });
  }
  void GroupStarted(Group group, int index, int count) override {
    Deliver([group, index, count](IEngineEvents& w) { w.GroupStarted(group, index, count); });
  }
  void WakeUpAttempt(int attempt, int count) override {
    Deliver([attempt, count](IEngineEvents& w) { w.WakeUpAttempt(attempt, count); });
  }
  void GroupRead(Group group, const CFormModel& reading) override {
    // One copy of the form, shared by the copies of the call.
    auto copy = std::make_shared<CFormModel>(reading);
    Deliver([group, copy](IEngineEvents& w) { w.GroupRead(group, *copy); });
  }
  void FirmwareVersionRead(const std::string& version) override {
    Deliver([version](IEngineEvents& w) { w.FirmwareVersionRead(version); });
  }
  void IdentityRead(const TrackerIdentity& identity) override {
    Deliver([identity](IEngineEvents& w) { w.IdentityRead(identity); });
  }
  void TerminalReply(const std::string& chunk) override {
    Deliver([chunk](IEngineEvents& w) { w.TerminalReply(chunk); });
  }
  void OperationFinished(const OperationResult& result) override {
    Deliver([result](IEngineEvents& w) { w.OperationFinished(result); });
  }

 protected:
  // Runs `apply` on the window side, on the window thread, and returns once
  // it has run (or the relay has been detached). Called on the worker.
  virtual void Deliver(std::function<void(IEngineEvents&)> apply) = 0;
};

}  // namespace kestrun
