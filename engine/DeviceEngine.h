// The device engine: runs one Read, Send or Identify operation on its own worker. It
// owns the port, the pacing, the traffic log and its own copy of the form it
// works on; it reports through IEngineEvents and never touches what a front end
// owns. One engine per port; several engines run side by side.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "engine/EngineEvents.h"
#include "engine/TerminalExchange.h"
#include "port/Clock.h"
#include "port/Pacing.h"
#include "port/PortSettings.h"
#include "protocol/FormModel.h"

namespace kestrun {

// Identify: the identity queries alone, in one wake-up bracket. Terminal: the
// terminal's one line and its reply (CTerminalExchange).
enum class OperationKind { Read, Send, SendAll, Identify, Terminal };

// Everything an operation needs, copied in when it starts.
struct OperationPlan {
  OperationKind kind = OperationKind::Read;
  GroupSelection selection{};  // Read and Send; Send All takes it from the form's boxes
  CFormModel form;             // the form values and records the operation works on
  PortSettings port;
  std::string logPath;    // the traffic log file; empty: nothing is logged
  bool identify = false;  // Read and Send: the identity queries right after the wake-up
  // A read whose values only serve a comparison: reply caps cut without a
  // popup, and no success popup (the front end says the comparison's result).
  bool quiet = false;
  TerminalRequest terminal;  // Terminal: the line and how it is sent
  CPacing pacing;
  // Send with identify: called on the worker right after the identity
  // queries, before any settings line. It may set this tracker's values in
  // `form`; false declines the tracker: the bracket is closed, nothing is
  // sent, and the operation ends as Outcome::Declined with `declined`'s
  // message. Unset: the operation's bytes are unchanged.
  AfterIdentify afterIdentify;
  // Read and Send: ask AT+CGSN again at the end of the bracket (Send after its
  // last settings line, before AT+WCSL=0; Read after its last group, before
  // AT+CSCLK=1) and end as Outcome::TrackerChanged when the tracker gives
  // another IMEI than `expectImei`, or none after a second query. With
  // `identify` the IMEI those queries give is the one expected. Nothing is
  // asked while no IMEI is expected.
  bool recheckImei = false;
  std::string expectImei;
  IClock* clock = &SteadyClock();  // what the port and the pacing wait on

  // Puts what a connection says into the plan: the port, its rate and
  // discovery paths, the traffic log and the pacing (the password goes with
  // the form the caller hands over).
  void SetConnection(PortSettings portSettings, std::string log, CPacing pacingPolicy) {
    port = std::move(portSettings);
    logPath = std::move(log);
    pacing = pacingPolicy;
  }
};

class CDeviceEngine {
 public:
  explicit CDeviceEngine(IEngineEvents& events);
  ~CDeviceEngine();  // stops and joins a running operation
  CDeviceEngine(const CDeviceEngine&) = delete;
  CDeviceEngine& operator=(const CDeviceEngine&) = delete;

  // Starts the operation on the engine's worker; false when one is running.
  bool Start(OperationPlan plan);
  // Runs the operation on the calling thread.
  OperationResult Run(OperationPlan plan);
  // Asks a running operation to stop at its next step; it closes the port.
  void Stop();
  // Waits for the worker to end.
  void Wait();
  bool Running() const { return running_; }

  // The engine's copy of the form after the last operation (values read,
  // lines built) and its result; only while no operation runs.
  const CFormModel& Form() const { return plan_.form; }
  const OperationResult& LastResult() const { return result_; }

 private:
  void Execute();

  IEngineEvents& events_;
  OperationPlan plan_;
  OperationResult result_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::thread worker_;
};

}  // namespace kestrun
