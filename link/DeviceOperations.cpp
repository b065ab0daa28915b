#include "link/DeviceOperations.h"

#include <cstdio>
#include <thread>

#include "protocol/Fields.h"

namespace kestrun {

namespace {

constexpr const char* kSendFail = "Send AT Command Fail !";

std::string GroupText(const char* before, Group group, const char* after) {
  return std::string(before) + "AT+RV" + Info(group).name + after;
}

// "[Revision:...] " style piece of the firmware version text, or empty.
std::string VersionPiece(const std::string& reply, const char* key, const char* closing) {
  const std::size_t start = reply.find(key);
  if (start == std::string::npos || FindClosingOk(reply) == std::string::npos) return {};
  const std::size_t end = reply.find_first_of("\r\n", start);
  return "[" + reply.substr(start, end == std::string::npos ? std::string::npos : end - start) + closing;
}

}  // namespace

void CDeviceDriver::ReportReplyFailure(int kind) {
  static const char* const kTexts[] = {"No Response !", "Read Data Error !", "No Right Response !"};
  if (kind < kNoResponse || kind > kNoRightResponse) return;
  const char* text = kTexts[kind - kNoResponse];
  host_.SetStatus(text);
  host_.ShowFailure(text);
}

bool CDeviceDriver::ExchangeCommand(const std::string& line) {
  port_.WriteLine(line);  // a line that did not go out shows up as a missing echo
  LogTraffic(line, Direction::Sent);
  host_.AppendHistory(line);
  std::string collected;
  bool echoSeen = false;
  auto okAfterEcho = [&](const std::string& text) {
    const std::size_t echo = text.find(line);
    return echo != std::string::npos && text.find("OK", echo + line.size()) != std::string::npos;
  };
  std::string reply;
  for (int read = 0; read < 3; ++read) {
    port_.ReadReply(reply, line.size() + 50);
    LogTraffic(reply, Direction::Received);
    if (echoSeen) {
      collected += reply;
      if (okAfterEcho(collected)) break;
    } else if (reply.find(line) != std::string::npos) {
      collected = reply;
      echoSeen = true;
      if (okAfterEcho(collected)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  if (collected.find(line) == std::string::npos) {
    ReportReplyFailure(kNoResponse);
    return false;
  }
  if (!okAfterEcho(collected)) {
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
  for (int attempt = 0; attempt < 30 && !seen && !Aborted(); ++attempt) {
    // A sleeping tracker wakes on the first line; only the reply to the fourth
    // write counts, since each write discards what came before it.
    for (int i = 0; i < 3; ++i) port_.WriteLine(command);
    seen = port_.SendAndWaitFor(command, "OK", reply, 120, 1);
  }
  LogTraffic(reply, Direction::Received);
  return seen;
}

bool CDeviceDriver::SetWcsl(bool on) {
  const std::string command = on ? "AT+WCSL=1" : "AT+WCSL=0";
  LogTraffic(command, Direction::Sent);
  std::string reply;
  const bool seen = port_.SendAndWaitFor(command, "OK", reply, command.size() + 10, 3);
  LogTraffic(reply, Direction::Received);
  return seen;
}

bool CDeviceDriver::QueryFirmwareVersion(std::string& version) {
  version.clear();
  std::string reply;
  port_.SendAndRead("ATI", reply, 199);
  version += VersionPiece(reply, "Revision:", "] ");
  port_.SendAndRead("at+csub", reply, 100);
  version += VersionPiece(reply, "SubEdition:", "]");
  return true;
}

bool CDeviceDriver::TakeQueryReply(Group group, std::string& reply) {
  const GroupInfo& info = Info(group);
  const std::string query = std::string("AT+RV") + info.name + "?";
  if (info.readMax > 0) {
    port_.SendAndRead(query, reply, static_cast<std::size_t>(info.readMax));
    LogTraffic(query, Direction::Sent);
    LogTraffic(reply, Direction::Received);
  } else {
    port_.WriteLine(query);
    LogTraffic(query, Direction::Sent);
    int total = 0;
    port_.ReadUntilQuiet(reply, total, 1024);
    LogTraffic(reply, Direction::Received);
    if (reply.size() > 1024) reply.resize(1024);
  }
  return true;
}

bool CDeviceDriver::ReadGroup(Group group) {
  host_.SetStatus(GroupText("Reading ", group, " ......"));
  const std::string tag = std::string("RV") + Info(group).name + ":";
  int failure = 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::string reply;
    TakeQueryReply(group, reply);
    const std::size_t tagPos = reply.find(tag);
    const std::size_t okPos = FindClosingOk(reply);
    if (tagPos != std::string::npos && okPos != std::string::npos && tagPos < okPos) {
      if (model_.ParseReply(group, reply)) {
        failure = 0;
        break;
      }
      failure = kReadDataError;
    } else {
      failure = kNoResponse;
    }
    if (Aborted()) break;
  }
  if (failure) {
    ReportReplyFailure(failure);
    host_.SetStatus(GroupText("Read ", group, " Fail !"));
    return false;
  }
  model_.ApplyReplyCaps(group, host_);
  host_.PutReplyIntoForm(group);
  host_.SetStatus(GroupText("Read ", group, " Success ."));
  return true;
}

bool CDeviceDriver::OpenPort() {
  if (port_.Open()) return true;
  char text[96];
  std::snprintf(text, sizeof text, "Init COM:%d Baudrate:%d Fail !", port_.portNumber, port_.baudRate);
  host_.SetStatus(text);
  host_.ExplainStatus(port_.openFailureReason());
  host_.ShowFailure(text);
  return false;
}

bool CDeviceDriver::Stop() {
  port_.Close();
  return false;
}

// A failed bracketing command: report it and stop.
bool CDeviceDriver::Bracket(bool ok) {
  if (ok) return true;
  host_.SetStatus(kSendFail);
  host_.ShowFailure(kSendFail);
  return false;
}

bool CDeviceDriver::ReadGroups(const GroupSelection& selection) {
  if (!OpenPort()) return false;
  if (!Bracket(SetSlowClock(false))) return Stop();
  std::string version;
  QueryFirmwareVersion(version);
  host_.SetFirmwareVersion(version);
  for (Group group : ReadOrder()) {
    if (Aborted()) return Stop();
    if (selection[static_cast<int>(group)] && !ReadGroup(group)) return Stop();
  }
  if (!Bracket(SetSlowClock(true))) return Stop();
  port_.Close();
  host_.SetStatus("Read AT Command Success .");
  host_.ShowResult(kAppTitle, "Read Setting Success .", kIconSuccess, true, 1000);
  return true;
}

bool CDeviceDriver::SendGroups(const GroupSelection& selection) {
  if (!OpenPort()) return false;
  if (!Bracket(SetSlowClock(false))) return Stop();
  if (!Bracket(SetWcsl(true))) return Stop();
  for (Group group : SendOrder()) {
    if (Aborted()) return Stop();
    if (!selection[static_cast<int>(group)]) continue;
    host_.SetStatus(GroupText("Sending ", group, " ......"));
    for (const std::string& line : host_.RefreshForSend(group)) {
      if (!ExchangeCommand(line)) {
        host_.SetStatus(GroupText("Send ", group, " Fail !"));
        return Stop();
      }
    }
  }
  if (!Bracket(SetWcsl(false))) return Stop();
  if (!Bracket(SetSlowClock(true))) return Stop();
  port_.Close();
  host_.SetStatus("Send AT Command Success .");
  host_.ShowResult(kAppTitle, "Send Setting Success .", kIconSuccess, true, 1000);
  return true;
}

void CDeviceDriver::ReadWorker(const GroupSelection& selection) {
  host_.SetFormEnabled(0);
  host_.SetStatus("");
  ReadGroups(selection);
  host_.SetFormEnabled(1);
}

void CDeviceDriver::SendWorker(const GroupSelection& selection) {
  host_.SetFormEnabled(0);
  host_.SetStatus("");
  SendGroups(selection);
  host_.SetFormEnabled(1);
}

void CDeviceDriver::SendAllWorker() {
  host_.SetFormEnabled(0);
  host_.SetStatus("");
  const GroupSelection selection = host_.SendAllSelection();
  bool any = false;
  for (bool selected : selection) any = any || selected;
  if (any)
    SendGroups(selection);
  else
    host_.ShowFailure("No Function Selected !");
  host_.SetFormEnabled(1);
}

}  // namespace kestrun
