#include "engine/TerminalExchange.h"

#include <algorithm>
#include <array>

#include "engine/ExchangeReasons.h"

namespace kestrun {

namespace {

constexpr std::array<std::string_view, 2> kWholeResults = {"OK", "ERROR"};
constexpr std::array<std::string_view, 2> kResultPrefixes = {"+CME ERROR:", "+CMS ERROR:"};

bool IsFinalResult(std::string_view line) {
  if (std::find(kWholeResults.begin(), kWholeResults.end(), line) != kWholeResults.end()) return true;
  return std::any_of(kResultPrefixes.begin(), kResultPrefixes.end(),
                     [line](std::string_view prefix) { return line.substr(0, prefix.size()) == prefix; });
}

}  // namespace

bool HoldsFinalResult(std::string_view reply, std::string_view sent) {
  bool first = true;
  std::size_t start = 0;
  for (std::size_t end = reply.find_first_of("\r\n"); end != std::string_view::npos;
       start = end + 1, end = reply.find_first_of("\r\n", start)) {
    const std::string_view line = reply.substr(start, end - start);
    if (line.empty()) continue;
    const bool echo = first && line == sent;
    first = false;
    if (!echo && IsFinalResult(line)) return true;
  }
  return false;
}

OperationResult CTerminalExchange::Run(const TerminalRequest& request) {
  CAtExchange& x = exchange_;
  if (!x.OpenPort()) return x.Finish(false);
  if (request.wakeFirst && !x.Bracket(x.SetSlowClock(false))) return x.Finish(false);
  if (!Write(request)) return x.Finish(false);
  bool final = false;
  if (!ReadReply(request, final) || x.Stopped()) return x.Finish(false);
  if (request.wakeFirst && final && !x.Bracket(x.SetSlowClock(true))) return x.Finish(false);
  return x.Finish(true);
}

bool CTerminalExchange::Write(const TerminalRequest& request) {
  const std::string shown = ShowControlBytes(request.text);
  PortResult written;
  if (!request.carriageReturn) {
    port_.Purge();
    written = port_.WriteBytes(request.text);
  } else {
    written = port_.WriteLine(request.text);
  }
  if (written) {
    exchange_.LogTraffic(shown, Direction::Sent);
    return true;
  }
  const bool tooLong = written.status == PortCallStatus::LineTooLong;
  if (!tooLong) exchange_.NotePortFailure(written);
  exchange_.LogTraffic(
      shown + " [not sent: " + (tooLong ? "longer than 254 characters" : written.reason) + "]",
      Direction::Sent);
  if (tooLong)
    exchange_.SetStatus(kLineTooLong);
  else
    exchange_.ReportReplyFailure(ReplyFailure::NoResponse);
  return false;
}

bool CTerminalExchange::ReadReply(const TerminalRequest& request, bool& final) {
  IClock& clock = port_.clock();
  const auto deadline = clock.Now() + kTerminalLimit;
  std::string reply;
  std::string chunk;
  bool quiet = false;
  PortResult read;
  while (!final && !exchange_.Stopped()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock.Now());
    if (left <= std::chrono::milliseconds(0)) break;
    const auto wait = std::min(kTerminalQuiet, left);
    // Ends as soon as anything has arrived, so each piece is shown at once.
    read = port_.ReadReply(
        chunk, 512, [](const std::string&) { return true; }, wait);
    if (!chunk.empty()) {
      reply += chunk;
      events_.TerminalReply(chunk);
    }
    if (!read) break;
    if (chunk.empty()) {
      quiet = wait == kTerminalQuiet;
      break;
    }
    final = HoldsFinalResult(reply, request.text);
  }
  exchange_.LogTraffic(reply, Direction::Received);
  if (!read) {
    exchange_.NotePortFailure(read);
    exchange_.ReportReplyFailure(ReplyFailure::NoResponse);
    return false;
  }
  if (final || exchange_.Stopped()) return true;
  std::string status = !quiet          ? "Reply cut off at 10 s."
                       : reply.empty() ? "No reply (1 s of quiet)."
                                       : "Reply ended by 1 s of quiet.";
  if (request.wakeFirst) status += " The tracker is left awake.";
  exchange_.SetStatus(status);
  return true;
}

}  // namespace kestrun
