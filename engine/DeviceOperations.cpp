#include "engine/DeviceOperations.h"

#include <cerrno>
#include <cstdio>

#include "engine/ExchangeReasons.h"
#include "port/SystemError.h"
#include "protocol/ControlChars.h"
#include "protocol/Fields.h"
#include "protocol/FormFields.h"
#include "protocol/ReplyRules.h"

namespace kestrun {

namespace {

constexpr const char* kSendFail = "Send AT Command Fail !";
constexpr const char* kLineTooLong = "Error, Command Line > 254 Byte";
constexpr const char* kControlByteInLine = "Error, Command Line Holds A Control Byte";
constexpr const char* kNoLine = "No Command Line To Send !";
constexpr const char* kNothingSelected = "No Function Selected !";

std::string GroupText(const char* before, Group group, const char* after) {
  return std::string(before) + "AT+RV" + Info(group).name + after;
}

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

// How a note names a reply value: its config file section and key.
std::string ValueName(const FormField& field) {
  if (field.key.empty()) return std::string("AT+RV") + Info(field.group).name + " value";
  return "[" + field.section + "] " + field.key;
}

// What a refresh of `model` reports (cap popups, rebuilt previews), passed on
// as events; with no events it is dropped.
class CRefreshOutput : public IFormOutput {
 public:
  CRefreshOutput(IEngineEvents* events, const CFormModel& model) : events_(events), model_(model) {}
  void ShowResult(const std::string& caption, const std::string& message, ResultIcon iconKind, bool autoClose,
                  int delayMs) override {
    if (events_) events_->PopupRequested({caption, message, iconKind, autoClose, delayMs, {}});
  }
  void SetControlText(int id, const std::string& text) override {
    if (events_) events_->PreviewBuilt(id, text, model_.values.Text(id));
  }

 private:
  IEngineEvents* events_;
  const CFormModel& model_;
};

int CountSelected(const GroupSelection& selection, const std::vector<Group>& order) {
  int count = 0;
  for (Group group : order) count += selection[static_cast<int>(group)] ? 1 : 0;
  return count;
}

}  // namespace

CDeviceDriver::CDeviceDriver(CComPort& port, CFormModel& model, IEngineEvents& events, CTrafficLog& log,
                             const CPacing& pacing, const std::atomic<bool>& stop)
    : port_(port), model_(model), events_(events), log_(log), pacing_(pacing), stop_(stop) {}

void CDeviceDriver::LogTraffic(const std::string& text, Direction direction) {
  log_.Log(text, direction);
  const auto pause = pacing_.AfterLoggedLine();
  if (pause.count() > 0) port_.clock->SleepFor(pause);
}

void CDeviceDriver::ShowFailure(const std::string& message) {
  events_.PopupRequested({kAppTitle, message, kIconFailure, false, 1000, failure_.hint});
}

void CDeviceDriver::ReportReplyFailure(int kind) {
  static const char* const kTexts[] = {"No Response !", "Read Data Error !", "No Right Response !"};
  if (kind < kNoResponse || kind > kNoRightResponse) return;
  const char* text = kTexts[kind - kNoResponse];
  SetStatus(text);
  ShowFailure(text);
}

bool CDeviceDriver::PortFailed() {
  if (failure_.detail.empty() && port_.lastSystemError != 0) {
    const int error = port_.lastSystemError;
    failure_.detail = (port_.devicePath().empty() ? std::string("The port") : port_.devicePath()) + ": " +
                      SystemReason(error);
    if (error == EIO || error == ENXIO || error == ENODEV || error == EBADF) {
      NoteCause(failure_, Cause::DeviceGone, port_.portNumber);
      failure_.detail += ". " + failure_.hint;
    }
  }
  return false;
}

bool CDeviceDriver::ExchangeCommand(const std::string& line) {
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
  port_.lastSystemError = 0;
  if (!port_.WriteLine(line)) {
    const bool tooLong = port_.lastSystemError == E2BIG;
    if (tooLong)
      failure_.detail = "The line has " + std::to_string(line.size()) +
                        " characters; the tracker takes at most " + std::to_string(CComPort::kMaxLine) + ".";
    else
      PortFailed();
    LogTraffic(line + " [not sent: " +
                   (tooLong ? "longer than 254 characters" : SystemReason(port_.lastSystemError)) + "]",
               Direction::Sent);
    const char* text = tooLong ? kLineTooLong : "No Response !";
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
  const auto complete = [&](const std::string& part) {
    return SettingReplyComplete(echoSeen ? collected + part : part, line);
  };
  const auto done = [&](const std::string& text) {
    return pacing_.EndsOnEvent() ? SettingReplyComplete(text, line) : SettingAccepted(text, line);
  };
  std::string reply;
  for (int read = 0; read < 3; ++read) {
    const bool readOk = port_.ReadReply(reply, line.size() + 50,
                                        pacing_.EndsOnEvent() ? CComPort::ReplyComplete(complete) : nullptr);
    LogTraffic(reply, Direction::Received);
    if (!readOk) {
      PortFailed();
      break;
    }
    if (echoSeen) {
      collected += reply;
      if (done(collected)) break;
    } else if (reply.find(line) != std::string::npos) {
      collected = reply;
      echoSeen = true;
      if (done(collected)) break;
      port_.clock->SleepFor(pacing_.AfterEcho());
    }
  }
  if (collected.find(line) == std::string::npos) {
    NoteCause(failure_, Cause::NoAnswer, port_.portNumber);
    ReportReplyFailure(kNoResponse);
    return false;
  }
  if (!SettingAccepted(collected, line)) {
    if (settingsLinesSent_ == 1 && collected.find("ERROR") != std::string::npos)
      NoteCause(failure_, Cause::WrongPassword, port_.portNumber);
    ReportReplyFailure(kNoRightResponse);
    return false;
  }
  return true;
}

bool CDeviceDriver::SetSlowClock(bool on) {
  const std::string command = on ? "AT+CSCLK=1" : "AT+CSCLK=0";
  LogTraffic(command, Direction::Sent);
  std::string reply;
  bool seen = false;
  for (int attempt = 0; attempt < kWakeUpAttempts && !seen && !Stopped(); ++attempt) {
    if (!on) events_.WakeUpAttempt(attempt + 1, kWakeUpAttempts);
    // A sleeping tracker wakes on the first line. The queues are emptied once
    // before the burst, so that the wake-up lines do not throw away each
    // other's replies; the fourth line is then polled for its "OK".
    port_.lastSystemError = 0;
    bool written = port_.Purge();
    int lines = 0;
    for (; lines < 3 && written; ++lines) written = port_.WriteLine(command, false);
    const auto polled = port_.clock->Now();
    seen = written && port_.SendAndWaitFor(command, "OK", reply, 120, 1, CPacing::PollInterval(),
                                           pacing_.EndsOnEvent(), false);
    // The fast pacing reads on until every line of the burst has its answer
    // (an awake tracker) or the line has been quiet for a while (a tracker that
    // slept through the first lines), so no late answer is taken for the next.
    const auto firstAnswer = std::chrono::duration_cast<CPacing::Ms>(port_.clock->Now() - polled);
    const int answers = lines + 1;
    if (seen && pacing_.BurstSettle(firstAnswer).count() > 0)
      port_.ReadUntilQuietFor(reply, pacing_.BurstSettle(firstAnswer), 3 * CPacing::ReadDeadline(),
                              [answers](const std::string& r) { return CountClosingLines(r) >= answers; });
    if (port_.lastSystemError != 0) {
      PortFailed();
      break;
    }
  }
  LogTraffic(reply, Direction::Received);
  if (!seen && !Stopped() && failure_.detail.empty()) {
    failure_.detail = WakeUpUnansweredReason(port_.portNumber);
    NoteCause(failure_, Cause::NoAnswer, port_.portNumber);
  }
  return seen;
}

bool CDeviceDriver::SetWcsl(bool on) {
  const std::string command = on ? "AT+WCSL=1" : "AT+WCSL=0";
  LogTraffic(command, Direction::Sent);
  std::string reply;
  port_.lastSystemError = 0;
  // The fast pacing takes only this line's own answer (its echo, then an OK
  // line and no ERROR): a late answer to the wake-up burst also holds an "OK".
  const CComPort::ReplyComplete ownAnswer = pacing_.EndsOnEvent()
                                                ? CComPort::ReplyComplete([&command](const std::string& r) {
                                                    return SettingReplyComplete(r, command);
                                                  })
                                                : nullptr;
  bool seen = port_.SendAndWaitFor(command, "OK", reply, command.size() + 10, 3, CPacing::PollInterval(),
                                   pacing_.EndsOnEvent(), true, ownAnswer);
  if (ownAnswer) seen = seen && SettingAccepted(reply, command);
  if (port_.lastSystemError != 0) PortFailed();
  LogTraffic(reply, Direction::Received);
  return seen;
}

std::string CDeviceDriver::QueryFirmwareVersion() {
  const CComPort::ReplyComplete ended =
      pacing_.EndsOnEvent() ? CComPort::ReplyComplete([](const std::string& r) { return ReplyEnded(r); })
                            : nullptr;
  std::string version;
  std::string reply;
  port_.SendAndRead("ATI", reply, 199, ended);
  version += VersionPiece(reply, "Revision:", "] ");
  port_.SendAndRead("at+csub", reply, 100, ended);
  version += VersionPiece(reply, "SubEdition:", "]");
  return version;
}

void CDeviceDriver::TakeQueryReply(Group group, std::string& reply) {
  const GroupInfo& info = Info(group);
  const std::string query = std::string("AT+RV") + info.name + "?";
  const std::string tag = std::string("RV") + info.name + ":";
  const CComPort::ReplyComplete complete =
      pacing_.EndsOnEvent()
          ? CComPort::ReplyComplete([&tag](const std::string& r) { return QueryReplyComplete(r, tag); })
          : nullptr;
  port_.lastSystemError = 0;
  if (info.readMax > 0) {
    port_.SendAndRead(query, reply, static_cast<std::size_t>(info.readMax), complete);
    LogTraffic(query, Direction::Sent);
    LogTraffic(reply, Direction::Received);
  } else {
    const bool written = port_.WriteLine(query);
    LogTraffic(query, Direction::Sent);
    int total = 0;
    if (written) port_.ReadUntilQuiet(reply, total, 1024, complete);
    LogTraffic(reply, Direction::Received);
    if (reply.size() > 1024) reply.resize(1024);
  }
}

void CDeviceDriver::DropReplyControlBytes(Group group) {
  for (const FormField& field : FormFields()) {
    if (field.group != group || !field.recordText) continue;
    std::string& text = field.recordText(model_);
    const std::vector<std::string> names = ControlByteNames(text);
    if (names.empty()) continue;
    text = WithoutControlBytes(text);
    ShowFailure(ControlBytesDroppedNote(ValueName(field), names));
  }
}

bool CDeviceDriver::ReadGroup(Group group) {
  SetStatus(GroupText("Reading ", group, " ......"));
  const std::string tag = std::string("RV") + Info(group).name + ":";
  int failure = 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::string reply;
    TakeQueryReply(group, reply);
    if (port_.lastSystemError != 0) {  // the port failed: no point in asking again
      PortFailed();
      failure = kNoResponse;
      break;
    }
    const std::size_t tagPos = reply.find(tag);
    const std::size_t okPos = FindClosingOk(reply);
    if (tagPos != std::string::npos && okPos != std::string::npos && tagPos < okPos) {
      if (model_.ParseReply(group, reply)) {
        DropReplyControlBytes(group);
        failure = 0;
        break;
      }
      failure = kReadDataError;
    } else {
      failure = kNoResponse;
    }
    if (Stopped()) break;
  }
  if (failure) {
    ReportReplyFailure(failure);
    SetStatus(GroupText("Read ", group, " Fail !"));
    return false;
  }
  CRefreshOutput out(&events_, model_);
  model_.ApplyReplyCaps(group, out);
  model_.ApplyReplyToForm(group);
  events_.GroupRead(group, model_);
  SetStatus(GroupText("Read ", group, " Success ."));
  return true;
}

bool CDeviceDriver::OpenPort() {
  if (port_.Open()) return true;
  char text[96];
  std::snprintf(text, sizeof text, "Init COM:%d Baudrate:%d Fail !", port_.portNumber, port_.baudRate);
  failure_.outcome = Outcome::PortNotOpened;
  failure_.detail = port_.openFailureReason();
  if (port_.lastSystemError == EBUSY)
    NoteCause(failure_, Cause::PortHeld, port_.portNumber, port_.devicePath());
  SetStatus(text);
  ShowFailure(text);
  return false;
}

// A failed bracketing command: report it and stop.
bool CDeviceDriver::Bracket(bool ok) {
  if (ok) return true;
  SetStatus(kSendFail);
  ShowFailure(kSendFail);
  return false;
}

OperationResult CDeviceDriver::Finish(bool ok) {
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

OperationResult CDeviceDriver::ReadGroups(const GroupSelection& selection) {
  if (!OpenPort()) return Finish(false);
  if (!Bracket(SetSlowClock(false))) return Finish(false);
  events_.FirmwareVersionRead(QueryFirmwareVersion());
  const int count = CountSelected(selection, ReadOrder());
  int index = 0;
  for (Group group : ReadOrder()) {
    if (Stopped()) return Finish(false);
    if (!selection[static_cast<int>(group)]) continue;
    events_.GroupStarted(group, ++index, count);
    if (!ReadGroup(group)) return Finish(false);
  }
  if (!Bracket(SetSlowClock(true))) return Finish(false);
  Finish(true);
  SetStatus("Read AT Command Success .");
  events_.PopupRequested({kAppTitle, "Read Setting Success .", kIconSuccess, true, 1000, {}});
  return {};
}

const GroupInfo* CDeviceDriver::GroupWithoutLine(const GroupSelection& selection) const {
  CFormModel scratch = model_;
  CRefreshOutput quiet(nullptr, scratch);
  for (Group group : SendOrder()) {
    if (!selection[static_cast<int>(group)]) continue;
    const std::vector<std::string> lines = scratch.PrepareSend(group, quiet);
    bool missing = lines.empty();
    for (const std::string& line : lines) missing = missing || line.empty();
    if (missing) return &Info(group);
  }
  return nullptr;
}

OperationResult CDeviceDriver::SendGroups(const GroupSelection& selection) {
  // A group with nothing to send would put a bare carriage return on the
  // line: say so before any port is touched.
  if (const GroupInfo* info = GroupWithoutLine(selection)) {
    SetStatus(GroupText("Send ", info->group, " Fail !"));
    ShowFailure(kNoLine);
    return {Outcome::NothingToSend, kNoLine, {}, {}, Cause::None, {}};
  }
  if (!OpenPort()) return Finish(false);
  if (!Bracket(SetSlowClock(false))) return Finish(false);
  if (!Bracket(SetWcsl(true))) return Finish(false);
  const int count = CountSelected(selection, SendOrder());
  int index = 0;
  CRefreshOutput out(&events_, model_);
  for (Group group : SendOrder()) {
    if (Stopped()) return Finish(false);
    if (!selection[static_cast<int>(group)]) continue;
    events_.GroupStarted(group, ++index, count);
    SetStatus(GroupText("Sending ", group, " ......"));
    for (const std::string& line : model_.PrepareSend(group, out)) {
      if (!ExchangeCommand(line)) {
        SetStatus(GroupText("Send ", group, " Fail !"));
        return Finish(false);
      }
    }
  }
  if (!Bracket(SetWcsl(false))) return Finish(false);
  if (!Bracket(SetSlowClock(true))) return Finish(false);
  Finish(true);
  SetStatus("Send AT Command Success .");
  events_.PopupRequested({kAppTitle, "Send Setting Success .", kIconSuccess, true, 1000, {}});
  return {};
}

OperationResult CDeviceDriver::SendAll() {
  const GroupSelection selection = model_.SendAllSelection();
  if (CountSelected(selection, SendOrder()) == 0) {
    ShowFailure(kNothingSelected);
    return {Outcome::NothingSelected, kNothingSelected, {}, {}, Cause::None, {}};
  }
  return SendGroups(selection);
}

}  // namespace kestrun
