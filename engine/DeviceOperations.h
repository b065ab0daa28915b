// The Read and Send operations of one device engine: the AT exchange with its
// traffic log and pacing, the slow-clock and WCSL brackets, the firmware
// version query, and the group reads and sends. It works on the engine's own
// port, log and copy of the form, and reports through IEngineEvents. Its
// pauses are taken on the port's clock, as the port's own waits are.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "engine/EngineEvents.h"
#include "engine/Pacing.h"
#include "engine/TrafficLog.h"
#include "port/ComPort.h"
#include "protocol/FormModel.h"

namespace kestrun {

enum ReplyFailure { kNoResponse = 2, kReadDataError = 3, kNoRightResponse = 4 };

class CDeviceDriver {
 public:
  CDeviceDriver(CComPort& port, CFormModel& model, IEngineEvents& events, CTrafficLog& log,
                const CPacing& pacing, const std::atomic<bool>& stop);

  // Whole operations, from opening the port to closing it.
  OperationResult ReadGroups(const GroupSelection& selection);
  OperationResult SendGroups(const GroupSelection& selection);
  // Send All: the groups ticked in the form, or a popup when there are none.
  OperationResult SendAll();

  // The steps, open to tests.
  bool ReadGroup(Group group);
  bool ExchangeCommand(const std::string& line);
  bool SetSlowClock(bool on);
  bool SetWcsl(bool on);
  std::string QueryFirmwareVersion();
  void ReportReplyFailure(int kind);

 private:
  bool Stopped() const { return stop_.load(); }
  void LogTraffic(const std::string& text, Direction direction);
  void SetStatus(const std::string& text) {
    lastStatus_ = text;
    events_.StatusChanged(text);
  }
  void ShowFailure(const std::string& message);
  // Notes why the port failed (the system's reason) after a failed read or write.
  bool PortFailed();
  bool OpenPort();
  bool Bracket(bool ok);
  OperationResult Finish(bool ok);
  // The lines each selected group would send, built on a scratch copy; the
  // first group without one, or nothing.
  const GroupInfo* GroupWithoutLine(const GroupSelection& selection) const;
  void TakeQueryReply(Group group, std::string& reply);
  // A parsed reply's texts keep no control bytes (a file written from them
  // must load again): each value that held some loses them, with a note.
  void DropReplyControlBytes(Group group);

  CComPort& port_;
  CFormModel& model_;
  IEngineEvents& events_;
  CTrafficLog& log_;
  const CPacing pacing_;
  const std::atomic<bool>& stop_;
  OperationResult failure_;  // the first failure's kind and reason
  std::string lastStatus_;
  int settingsLinesSent_ = 0;  // settings lines written in this operation
};

}  // namespace kestrun
