// Carries what a device engine reports on its worker thread over to the
// window thread, where the window controller applies it. The worker waits
// until each event has been applied, so the screen changes in the order and
// at the moments the operation reaches them. Every event is wrapped here as
// a call on the window side holding copies of its arguments; a relay says
// only how such a call crosses to the window thread.
#pragma once

#include <functional>
#include <memory>
#include <type_traits>

#include "engine/EngineEvents.h"

namespace kestrun {

class IEventRelay : public IEngineEvents {
 public:
  // From now on nothing is delivered, and a worker waiting for delivery is
  // let go (so stopping and joining it cannot deadlock). Window thread only.
  virtual void Detach() = 0;

  void OperationStarted() override { Relay(&IEngineEvents::OperationStarted); }
  void StatusChanged(const std::string& text) override { Relay(&IEngineEvents::StatusChanged, text); }
  void StatusExplained(const std::string& detail) override { Relay(&IEngineEvents::StatusExplained, detail); }
  void PopupRequested(const PopupRequest& p) override { Relay(&IEngineEvents::PopupRequested, p); }
  void HistoryAppended(const std::string& line) override { Relay(&IEngineEvents::HistoryAppended, line); }
  void PreviewBuilt(int id, const std::string& shown, const std::string& stored) override {
    Relay(&IEngineEvents::PreviewBuilt, id, shown, stored);
  }
  void GroupStarted(Group group, int index, int count) override {
    Relay(&IEngineEvents::GroupStarted, group, index, count);
  }
  void WakeUpAttempt(int attempt, int count) override {
    Relay(&IEngineEvents::WakeUpAttempt, attempt, count);
  }
  void GroupRead(Group group, const CFormModel& reading) override {
    // One copy of the form, shared by the copies of the call.
    auto copy = std::make_shared<CFormModel>(reading);
    Deliver([group, copy](IEngineEvents& w) { w.GroupRead(group, *copy); });
  }
  void FirmwareVersionRead(const std::string& version) override {
    Relay(&IEngineEvents::FirmwareVersionRead, version);
  }
  void IdentityRead(const TrackerIdentity& identity) override {
    Relay(&IEngineEvents::IdentityRead, identity);
  }
  void TerminalReply(const std::string& chunk) override { Relay(&IEngineEvents::TerminalReply, chunk); }
  void OperationFinished(const OperationResult& result) override {
    Relay(&IEngineEvents::OperationFinished, result);
  }

 protected:
  // Runs `apply` on the window side, on the window thread, and returns once
  // it has run (or the relay has been detached). Called on the worker.
  virtual void Deliver(std::function<void(IEngineEvents&)> apply) = 0;

 private:
  // Delivers the call of `event` with copies of its arguments: once the
  // relay is detached the worker goes on, and its own may be gone by the
  // time the window thread runs the call.
  template <typename... Params, typename... Args>
  void Relay(void (IEngineEvents::*event)(Params...), const Args&... args) {
    Deliver([event, ... copies = std::decay_t<Params>(args)](IEngineEvents& w) { (w.*event)(copies...); });
  }
};

}  // namespace kestrun
