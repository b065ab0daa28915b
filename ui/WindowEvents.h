// The window's event relay: every event the device engine's worker reports is
// handed to the window-thread side (the window controller) on the window
// thread, and the worker waits until it has been applied. Once detached (the
// window is going away) events are dropped at once and a waiting worker is
// released, so stopping and joining it cannot deadlock. It knows no widget:
// it posts to a context object of its own, made on the window thread.
#pragma once

#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "window/EventRelay.h"

namespace kestrun {

class CWindowEvents : public IEventRelay {
 public:
  // Made on the window thread; `windowSide` is called there only.
  explicit CWindowEvents(IEngineEvents& windowSide);
  void Detach() override;

 protected:
  // Runs `apply` on the window thread and waits until it has run (or the
  // relay has been detached).
  void Deliver(std::function<void(IEngineEvents&)> apply) override;

 private:
  struct Gate {
    std::mutex mutex;
    std::condition_variable applied;
    bool detached = false;
  };
  IEngineEvents& windowSide_;
  QObject context_;  // lives on the window thread; queued calls go through it
  std::shared_ptr<Gate> gate_ = std::make_shared<Gate>();
};

}  // namespace kestrun
