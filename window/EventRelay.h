// Carries what a device engine reports on its worker thread over to the
// window thread, where the window controller applies it. The worker waits
// until each event has been applied, so the screen changes in the order and
// at the moments the operation reaches them.
#pragma once

#include "engine/EngineEvents.h"

namespace kestrun {

class IEventRelay : public IEngineEvents {
 public:
  // From now on nothing is delivered, and a worker waiting for delivery is
  // let go (so stopping and joining it cannot deadlock). Window thread only.
  virtual void Detach() = 0;
};

}  // namespace kestrun
