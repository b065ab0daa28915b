// The AT exchange of one device engine on its port: a line written and its
// reply read until a completion rule, the settings-line exchange, the wake-up
// burst, the WCSL bracket, the firmware version and identity queries. Every line sent and
// received goes to the traffic log; every wait is one the pacing chose, taken
// on the port's clock. It reports the status, failure popups and reply
// failures through IEngineEvents, and keeps the first failure's reason for
// the operation's result.
#pragma once

#include <atomic>
#include <string>

#include "engine/EngineEvents.h"
#include "engine/TrafficLog.h"
#include "port/ComPort.h"
#include "port/Pacing.h"
#include "protocol/Groups.h"
#include "protocol/Identity.h"

namespace kestrun {

// The status and popup text of a line longer than the tracker takes.
inline constexpr const char* kLineTooLong = "Error, Command Line > 254 Byte";

// Why a reply was not taken.
enum class ReplyFailure { NoResponse, ReadDataError, NoRightResponse };

// The status and popup text of a reply failure ("No Response !").
const char* ReplyFailureText(ReplyFailure kind);

class CAtExchange {
 public:
  CAtExchange(CComPort& port, IEngineEvents& events, CTrafficLog& log, const CPacing& pacing,
              const std::atomic<bool>& stop);

  // Opens the port; a failure is reported ("Init COM:.. Fail !") and kept.
  bool OpenPort();
  // Closes the port and gives the operation's result: success, or the first
  // failure with the last status and its reason (reported as well).
  OperationResult Finish(bool ok);
  // A failed bracketing command (wake-up, WCSL): reported; passes `ok` on.
  bool Bracket(bool ok);

  // Writes one settings line and reads until its echo and answer; false
  // (reported) when the line was refused, unanswered or not accepted.
  bool ExchangeCommand(const std::string& line);
  // The wake-up burst (AT+CSCLK=0) or the closing AT+CSCLK=1.
  bool SetSlowClock(bool on);
  bool SetWcsl(bool on);
  // ATI and at+csub; Read leaves them out of the traffic log, Identify logs them.
  std::string QueryFirmwareVersion(bool logged = false);
  // The firmware text and the GSM module's identity queries (AT+CGSN,
  // AT+CCID, AT+CSQ), all logged; an item refused or unanswered stays empty.
  TrackerIdentity QueryIdentity();
  // AT+CGSN once more (logged), asked a second time when the answer holds no
  // IMEI: the IMEI's digits, or empty. False when the port failed on the way.
  bool QueryImeiAgain(std::string& imei);
  // Sends the group's query and reads its reply into `reply` (both logged);
  // a failed result when the port failed.
  PortResult QueryGroup(Group group, std::string& reply);

  void ReportReplyFailure(ReplyFailure kind);
  // Keeps why the port failed (the system's reason) as the operation's
  // reason, unless one is kept already.
  void NotePortFailure(const PortResult& result);
  void SetStatus(const std::string& text);
  void ShowFailure(const std::string& message);
  bool Stopped() const { return stop_.load(); }
  int PortNumber() const { return port_.settings().number; }
  // One entry of the traffic log, then the pacing's pause after it.
  void LogTraffic(const std::string& text, Direction direction);

 private:
  // Sends `query` and reads its reply until a closing line (or up to
  // `maxBytes` and the time-out), logging both when `logged`.
  std::string Ask(const std::string& query, std::size_t maxBytes, bool logged, PortResult* result = nullptr);

  CComPort& port_;
  IEngineEvents& events_;
  CTrafficLog& log_;
  const CPacing pacing_;
  const std::atomic<bool>& stop_;
  OperationResult failure_;  // the first failure's kind and reason
  std::string lastStatus_;
  int settingsLinesSent_ = 0;  // settings lines written in this operation
};

}  // namespace kestrun
