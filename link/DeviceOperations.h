// The Read and Send drivers: the AT exchange with its traffic log, the
// slow-clock and WCSL brackets, the firmware version query, and the group
// reads and sends, run on one worker thread per operation.
#pragma once

#include <atomic>
#include <string>

#include "link/ComPort.h"
#include "link/OperationHost.h"
#include "link/TrafficLog.h"
#include "protocol/FormModel.h"

namespace kestrun {

enum ReplyFailure { kNoResponse = 2, kReadDataError = 3, kNoRightResponse = 4 };

class CDeviceDriver {
 public:
  CDeviceDriver(CComPort& port, CFormModel& model, IOperationHost& host, CTrafficLog& log)
      : port_(port), model_(model), host_(host), log_(log) {}

  // Worker bodies: disable the form, clear the status line, run, enable.
  void ReadWorker(const GroupSelection& selection);
  void SendWorker(const GroupSelection& selection);
  void SendAllWorker();

  bool ReadGroups(const GroupSelection& selection);
  bool SendGroups(const GroupSelection& selection);
  bool ReadGroup(Group group);
  bool ExchangeCommand(const std::string& line);
  bool SetSlowClock(bool on);
  bool SetWcsl(bool on);
  bool QueryFirmwareVersion(std::string& version);
  void ReportReplyFailure(int kind);
  void LogTraffic(const std::string& text, Direction direction) { log_.Log(text, direction); }

  // Set when the main window closes mid-operation: the driver stops at the
  // next step and closes the port.
  std::atomic<bool>* abort = nullptr;

 private:
  bool Aborted() const { return abort && abort->load(); }
  bool OpenPort();
  bool Stop();
  bool Bracket(bool ok);
  bool TakeQueryReply(Group group, std::string& reply);

  CComPort& port_;
  CFormModel& model_;
  IOperationHost& host_;
  CTrafficLog& log_;
};

}  // namespace kestrun
