#include "engine/AtExchange.h"

#include <cerrno>
#include <cstdio>

#include "engine/ExchangeReasons.h"
#include "engine/Hints.h"
#include "protocol/ControlChars.h"
#include "protocol/ReplyRules.h"

namespace kestrun {

namespace {

constexpr const char* kSendFail = "Send AT Command Fail !";
constexpr const char* kControlByteInLine = "Error, Command Line Holds A Control Byte";

// "[Revision:...] " style piece of the firmware version text, or empty.
std::string VersionPiece(const std::string& reply, const char* key, const char* closing) {
  const std::size_t start = reply.find(key);
  if (start == std::string::npos || FindClosingOk(reply) == std::string::npos) return {};
  const std::size_t end = reply.find_first_of("\r\n", start);
  return "[" +
         WithoutControlBytes(
             reply.substr(start, end == std::string::npos ? std::string::npos : end - start)) +
         closing;
}

}  // namespace

const char* ReplyFailureText(ReplyFailure kind) {
  switch (kind) {
    case ReplyFailure::NoResponse: return "No Response !";
    case ReplyFailure::ReadDataError: return "Read Data Error !";
    case ReplyFailure::NoRightResponse: return "No Right Response !";
  }
  return "";
}

CAtExchange::CAtExchange(CComPort& port, IEngineEvents& events, CTrafficLog& log, const CPacing& pacing,
                         const std::atomic<bool>& stop)
    : port_(port), events_(events), log_(log), pacing_(pacing), stop_(stop) {}

void CAtExchange::LogTraffic(const std::string& text, Direction direction) {
  log_.Log(text, direction);
  const auto pause = pacing_.AfterLoggedLine();
  if (pause.count() > 0) port_.clock().SleepFor(pause);
}

void CAtExchange::SetStatus(const std::string& text) {
  lastStatus_ = text;
  events_.StatusChanged(text);
}

void CAtExchange::ShowFailure(const std::string& message) {
  events_.PopupRequested({kAppTitle, message, kIconFailure, false, 1000, failure_.hint});
}

void CAtExchange::ReportReplyFailure(ReplyFailure kind) {
  const char* text = ReplyFailureText(kind);
  SetStatus(text);
  ShowFailure(text);
}

void CAtExchange::NotePortFailure(const PortResult& result) {
  if (!failure_.detail.empty() || result.error == 0) return;
  const int error = result.error;
  failure_.detail =
      (port_.devicePath().empty() ? std::string("The port") : port_.devicePath()) + ": " + result.reason;
  if (error == EIO || error == ENXIO || error == ENODEV || error == EBADF) {
    NoteCause(failure_, Cause::DeviceGone, port_.settings().number);
    failure_.detail += ". " + failure_.hint;
  }
}

bool CAtExchange::OpenPort() {
  const PortResult opened = port_.Open();
  if (opened) return true;
  char text[96];
  std::snprintf(text, sizeof text, "Init COM:%d Baudrate:%d Fail !", port_.settings().number,
                port_.settings().baudRate);
  failure_.outcome = Outcome::PortNotOpened;
  failure_.detail = port_.openFailureReason();
  if (opened.error == EBUSY)
    NoteCause(failure_, Cause::PortHeld, port_.settings().number, port_.devicePath());
  SetStatus(text);
  ShowFailure(text);
  return false;
}

bool CAtExchange::Bracket(bool ok) {
  if (ok) return true;
  SetStatus(kSendFail);
  ShowFailure(kSendFail);
  return false;
}

OperationResult CAtExchange::Finish(bool ok) {
  port_.Close();
  if (ok) return {};
  OperationResult result = failure_;
  if (Stopped())
    result.outcome = Outcome::Stopped;
  else if (result.outcome == Outcome::Success)
    result.outcome = Outcome::TrackerFailed;
  result.message = lastStatus_;
  if (!result.detail.empty()) events_.StatusExplained(result.detail);
  return result;
}

bool CAtExchange::ExchangeCommand(const std::string& line) {
  // A control byte would end the line early on the tracker's side (CR, LF)
  // and make the rest a command of its own, or upset its line editor: such a
  // line is refused whole, before any of it reaches the port.
  if (const std::size_t at = FindControlByte(line); at != std::string::npos) {
    failure_.detail = ControlByteRefusedReason(line);
    LogTraffic(ShowControlBytes(line) + " [not sent: holds a control byte (" +
                   ControlByteName(static_cast<unsigned char>(line[at])) + ")]",
               Direction::Sent);
    SetStatus(kControlByteInLine);
    ShowFailure(kControlByteInLine);
    return false;
  }
  if (const PortResult written = port_.WriteLine(line); !written) {
    const bool tooLong = written.status == PortCallStatus::LineTooLong;
    if (tooLong)
      failure_.detail = "The line has " + std::to_string(line.size()) +
                        " characters; the tracker takes at most " + std::to_string(CComPort::kMaxLine) + ".";
    else
      NotePortFailure(written);
    LogTraffic(line + " [not sent: " + (tooLong ? "longer than 254 characters" : written.reason) + "]",
               Direction::Sent);
    const char* text = tooLong ? kLineTooLong : ReplyFailureText(ReplyFailure::NoResponse);
    SetStatus(text);
    ShowFailure(text);
    return false;
  }
  LogTraffic(line, Direction::Sent);
  events_.HistoryAppended(line);
  ++settingsLinesSent_;
  std::string collected;
  bool echoSeen = false;
  // Fast pacing ends a read once the reply is complete; the specified one
  // reads on until the byte count or the time-out.
  const ReplyComplete complete = pacing_.CompletionRule([&](const std::string& part) {
    return SettingReplyComplete(echoSeen ? collected + part : part, line);
  });
  const auto done = [&](const std::string& text) {
    return pacing_.EndsOnEvent() ? SettingReplyComplete(text, line) : SettingAccepted(text, line);
  };
  std::string reply;
  for (int read = 0; read < 3; ++read) {
    const PortResult got = port_.ReadReply(reply, line.size() + 50, complete);
    LogTraffic(reply, Direction::Received);
    if (!got) {
      NotePortFailure(got);
      break;
    }
    if (echoSeen) {
      collected += reply;
      if (done(collected)) break;
    } else if (reply.find(line) != std::string::npos) {
      collected = reply;
      echoSeen = true;
      if (done(collected)) break;
      port_.clock().SleepFor(pacing_.AfterEcho());
    }
  }
  if (collected.find(line) == std::string::npos) {
    NoteCause(failure_, Cause::NoAnswer, port_.settings().number);
    ReportReplyFailure(ReplyFailure::NoResponse);
    return false;
  }
  if (!SettingAccepted(collected, line)) {
    // The tracker refuses its first settings line with ERROR when the
    // password is wrong: the likeliest cause, said under the popup.
    if (settingsLinesSent_ == 1 && collected.find("ERROR") != std::string::npos)
      NoteCause(failure_, Cause::WrongPassword, port_.settings().number);
    ReportReplyFailure(ReplyFailure::NoRightResponse);
    return false;
  }
  return true;
}

bool CAtExchange::SetSlowClock(bool on) {
  const std::string command = on ? "AT+CSCLK=1" : "AT+CSCLK=0";
  LogTraffic(command, Direction::Sent);
  std::string reply;
  bool seen = false;
  CComPort::PollPlan poll;
  poll.maxBytes = 120;
  poll.pause = CPacing::PollInterval();
  poll.endOnToken = pacing_.EndsOnEvent();
  poll.purgeFirst = false;
  for (int attempt = 0; attempt < kWakeUpAttempts && !seen && !Stopped(); ++attempt) {
    if (!on) events_.WakeUpAttempt(attempt + 1, kWakeUpAttempts);
    // A sleeping tracker wakes on the first line. The queues are emptied once
    // before the burst, so that the wake-up lines do not throw away each
    // other's replies; the fourth line is then polled for its "OK".
    PortResult step = port_.Purge();
    int lines = 0;
    for (; lines < 3 && step; ++lines) step = port_.WriteLine(command, false);
    const auto polled = port_.clock().Now();
    if (step) step = port_.SendAndWaitFor(command, reply, poll);
    seen = static_cast<bool>(step);
    // The fast pacing reads on until every line of the burst has its answer
    // (an awake tracker) or the line has been quiet for a while (a tracker that
    // slept through the first lines), so no late answer is taken for the next.
    const auto firstAnswer = std::chrono::duration_cast<CPacing::Ms>(port_.clock().Now() - polled);
    const int answers = lines + 1;
    if (seen && pacing_.BurstSettle(firstAnswer).count() > 0)
      step = port_.ReadUntilQuietFor(
          reply, pacing_.BurstSettle(firstAnswer), 3 * CPacing::ReadDeadline(),
          [answers](const std::string& r) { return CountClosingLines(r) >= answers; });
    if (step.error != 0) {  // the port failed, not just the tracker's answer
      NotePortFailure(step);
      break;
    }
  }
  LogTraffic(reply, Direction::Received);
  if (!seen && !Stopped() && failure_.detail.empty()) {
    failure_.detail = WakeUpUnansweredReason(port_.settings().number);
    NoteCause(failure_, Cause::NoAnswer, port_.settings().number);
  }
  return seen;
}

bool CAtExchange::SetWcsl(bool on) {
  const std::string command = on ? "AT+WCSL=1" : "AT+WCSL=0";
  LogTraffic(command, Direction::Sent);
  std::string reply;
  CComPort::PollPlan poll;
  poll.maxBytes = command.size() + 10;
  poll.polls = 3;
  poll.pause = CPacing::PollInterval();
  poll.endOnToken = pacing_.EndsOnEvent();
  // The fast pacing takes only this line's own answer (its echo, then an OK
  // line and no ERROR): a late answer to the wake-up burst also holds an "OK".
  poll.done =
      pacing_.CompletionRule([&command](const std::string& r) { return SettingReplyComplete(r, command); });
  const PortResult result = port_.SendAndWaitFor(command, reply, poll);
  bool seen = static_cast<bool>(result);
  if (poll.done) seen = seen && SettingAccepted(reply, command);
  if (result.error != 0) NotePortFailure(result);
  LogTraffic(reply, Direction::Received);
  return seen;
}

std::string CAtExchange::Ask(const std::string& query, std::size_t maxBytes, bool logged,
                             PortResult* result) {
  const ReplyComplete ended = pacing_.CompletionRule([](const std::string& r) { return ReplyEnded(r); });
  std::string reply;
  const PortResult asked = port_.SendAndRead(query, reply, maxBytes, ended);
  if (logged) {
    if (asked.error != 0) NotePortFailure(asked);
    LogTraffic(query, Direction::Sent);
    LogTraffic(reply, Direction::Received);
  }
  if (result) *result = asked;
  return reply;
}

std::string CAtExchange::QueryFirmwareVersion(bool logged) {
  std::string version = VersionPiece(Ask("ATI", 199, logged), "Revision:", "] ");
  version += VersionPiece(Ask("at+csub", 100, logged), "SubEdition:", "]");
  return version;
}

TrackerIdentity CAtExchange::QueryIdentity() {
  TrackerIdentity identity;
  identity.firmware = QueryFirmwareVersion(true);
  if (!Stopped()) ParseImei(Ask("AT+CGSN", 100, true), identity.imei, identity.imeiValid);
  if (!Stopped()) ParseIccid(Ask("AT+CCID", 100, true), identity.iccid);
  if (!Stopped()) ParseSignal(Ask("AT+CSQ", 100, true), identity.rssi, identity.ber);
  return identity;
}

bool CAtExchange::QueryImeiAgain(std::string& imei) {
  imei.clear();
  for (int attempt = 0; attempt < 2 && imei.empty() && !Stopped(); ++attempt) {
    PortResult result;
    const std::string reply = Ask("AT+CGSN", 100, true, &result);
    if (result.error != 0) return false;
    bool valid = false;
    if (!ParseImei(reply, imei, valid)) imei.clear();
  }
  return true;
}

PortResult CAtExchange::QueryGroup(Group group, std::string& reply) {
  const GroupInfo& info = Info(group);
  const std::string query = std::string("AT+RV") + info.name + "?";
  const std::string tag = std::string("RV") + info.name + ":";
  const ReplyComplete complete =
      pacing_.CompletionRule([&tag](const std::string& r) { return QueryReplyComplete(r, tag); });
  PortResult result;
  if (info.readMax > 0) {
    result = port_.SendAndRead(query, reply, static_cast<std::size_t>(info.readMax), complete);
    LogTraffic(query, Direction::Sent);
    LogTraffic(reply, Direction::Received);
  } else {
    result = port_.WriteLine(query);
    LogTraffic(query, Direction::Sent);
    if (result) result = port_.ReadUntilQuiet(reply, 1024, complete);
    LogTraffic(reply, Direction::Received);
    if (reply.size() > 1024) reply.resize(1024);
  }
  return result;
}

}  // namespace kestrun
