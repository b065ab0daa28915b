// The terminal exchange: one line the user typed, sent as typed (no password,
// no stamp, no value rule, control bytes and all), and its reply reported
// chunk by chunk as it arrives (IEngineEvents::TerminalReply).
//
// The port is opened for the exchange and closed after it, with the same
// exclusive open as every operation. With `wakeFirst` the tracker is woken
// first exactly as Read does it (the AT+CSCLK=0 burst). The reply is read
// until a final result line ("OK", "ERROR", "+CME ERROR: ..." or
// "+CMS ERROR: ..."), 1 s of quiet, or 10 s after the line was written.
//
// The closing AT+CSCLK=1 follows a woken exchange only when its reply ended on
// a final result line, as Read sends it only after a whole exchange. A reply
// that ended in quiet may be a prompt waiting for more (a modem's "> " for an
// SMS text, ended by Ctrl+Z): a closing line would be taken as part of that
// text, so the tracker is left awake and the status says so.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "engine/AtExchange.h"
#include "engine/EngineEvents.h"

namespace kestrun {

struct TerminalRequest {
  std::string text;            // sent as typed
  bool wakeFirst = true;       // the wake-up burst before the line
  bool carriageReturn = true;  // false: `text` alone (Ctrl+Z, 0x1A)
};

// How long the reply is read: until this much quiet, at most this long.
inline constexpr std::chrono::milliseconds kTerminalQuiet{1000};
inline constexpr std::chrono::milliseconds kTerminalLimit{10000};

// Whether `reply` holds a whole final result line: a line ended by CR or LF
// that is "OK" or "ERROR" or starts with "+CME ERROR:" or "+CMS ERROR:". A
// first line equal to `sent` is its echo and never counts.
bool HoldsFinalResult(std::string_view reply, std::string_view sent);

class CTerminalExchange {
 public:
  CTerminalExchange(CAtExchange& exchange, CComPort& port, IEngineEvents& events)
      : exchange_(exchange), port_(port), events_(events) {}

  OperationResult Run(const TerminalRequest& request);

 private:
  // Writes the request's bytes; false (reported) when they were not sent.
  bool Write(const TerminalRequest& request);
  // Reads and reports the reply, `final` when it ended on a final result
  // line; false (reported) when the port failed.
  bool ReadReply(const TerminalRequest& request, bool& final);

  CAtExchange& exchange_;
  CComPort& port_;
  IEngineEvents& events_;
};

}  // namespace kestrun
