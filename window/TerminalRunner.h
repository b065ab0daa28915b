// The terminal window's exchanges, beside the form's operations: a runner of
// their own whose engine reports through a relay to this object on the window
// thread, which passes each event on to the terminal window while one is
// there. The window controller owns it and counts a running exchange as busy,
// so the form's operations and the terminal never share the port. Free of
// widgets.
#pragma once

#include <functional>
#include <memory>

#include "engine/TerminalExchange.h"
#include "settings/Connection.h"
#include "window/OperationRunner.h"

namespace kestrun {

class CTerminalRunner : public IEngineEvents {
 public:
  using RelayFactory = std::function<std::unique_ptr<IEventRelay>(IEngineEvents& windowSide)>;

  // `busyChanged` runs on the window thread when an exchange starts or ends.
  CTerminalRunner(const RelayFactory& makeRelay, std::function<void(bool busy)> busyChanged)
      : runner_(makeRelay(*this), std::move(busyChanged)) {}

  // Who sees the exchange's events (the terminal window), or nobody.
  void SetListener(IEngineEvents* listener) { listener_ = listener; }
  // Starts the exchange of `request` over `connection`; nothing when one runs.
  void Start(const TerminalRequest& request, const Connection& connection);
  bool busy() const { return runner_.busy(); }
  void Stop() { runner_.Stop(); }
  void Shutdown() { runner_.Shutdown(); }

  // The engine's events, on the window thread.
  void StatusChanged(const std::string& text) override;
  void StatusExplained(const std::string& detail) override;
  void WakeUpAttempt(int attempt, int count) override;
  void TerminalReply(const std::string& chunk) override;
  void OperationFinished(const OperationResult& result) override;

 private:
  IEngineEvents* listener_ = nullptr;
  COperationRunner runner_;
};

}  // namespace kestrun
