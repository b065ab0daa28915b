#include "engine/DeviceEngine.h"

#include "engine/AtExchange.h"
#include "engine/GroupOperations.h"
#include "engine/TrafficLog.h"
#include "port/ComPort.h"

namespace kestrun {

CDeviceEngine::CDeviceEngine(IEngineEvents& events) : events_(events) {}

CDeviceEngine::~CDeviceEngine() {
  Stop();
  Wait();
}

bool CDeviceEngine::Start(OperationPlan plan) {
  if (running_) return false;
  Wait();  // the last worker has reported its end; collect it
  plan_ = std::move(plan);
  stop_ = false;
  running_ = true;
  worker_ = std::thread([this] { Execute(); });
  return true;
}

OperationResult CDeviceEngine::Run(OperationPlan plan) {
  if (running_) return {Outcome::Stopped, "An operation is already running", {}, {}, Cause::None, {}};
  Wait();
  plan_ = std::move(plan);
  stop_ = false;
  running_ = true;
  Execute();
  return result_;
}

void CDeviceEngine::Stop() { stop_ = true; }

void CDeviceEngine::Wait() {
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

void CDeviceEngine::Execute() {
  CComPort port(plan_.port, *plan_.clock);
  port.SetPurgeDiscardsOutput(!plan_.pacing.EndsOnEvent());
  CTrafficLog log;
  log.SetPath(plan_.logPath);
  CAtExchange exchange(port, events_, log, plan_.pacing, stop_);
  CGroupOperations operations(exchange, plan_.form, events_);
  operations.IdentifyAfterWakeUp(plan_.identify);
  operations.Quiet(plan_.quiet);
  operations.SetAfterIdentify(plan_.afterIdentify);
  operations.RecheckImei(plan_.recheckImei, plan_.expectImei);

  events_.OperationStarted();
  events_.StatusChanged("");
  switch (plan_.kind) {
    case OperationKind::Read: result_ = operations.ReadGroups(plan_.selection); break;
    case OperationKind::Send: result_ = operations.SendGroups(plan_.selection); break;
    case OperationKind::SendAll: result_ = operations.SendAll(); break;
    case OperationKind::Identify: result_ = operations.Identify(); break;
    case OperationKind::Terminal:
      result_ = CTerminalExchange(exchange, port, events_).Run(plan_.terminal);
      break;
  }
  port.Close();
  result_.logError = log.Failure();
  // The front end may start the next operation as soon as it hears of the
  // end, so the engine is marked idle first.
  const OperationResult result = result_;
  running_ = false;
  events_.OperationFinished(result);
}

}  // namespace kestrun
