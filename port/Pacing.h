// How the exchange with the tracker waits. Every wait of a device operation is
// one call into this object, so the timing lives in one place.
//
// `specified` keeps the tracker's documented timing wait for wait: reads run to
// their byte count or 600 ms, 100 ms after every logged line, 200 ms before each
// poll. `fast` sends the same bytes in the same order but ends every wait on its
// event (a complete reply, a poll's token) and makes no fixed pauses; the
// time-outs stay as upper bounds, so a silent tracker fails in the same time and
// with the same messages.
#pragma once

#include <chrono>
#include <string>
#include <utility>

#include "port/ReplyComplete.h"

namespace kestrun {

class CPacing {
 public:
  enum class Mode { Specified, Fast };
  using Ms = std::chrono::milliseconds;

  constexpr CPacing() = default;
  static constexpr CPacing Specified() { return CPacing(Mode::Specified); }
  static constexpr CPacing Fast() { return CPacing(Mode::Fast); }
  // "fast" or "specified", in any letter case; false (and `pacing`
  // untouched) for anything else.
  static bool Parse(const std::string& name, CPacing& pacing);
  // The stored setting: what Parse takes, anything else (or nothing) specified.
  static CPacing FromSetting(const std::string& value);

  constexpr Mode mode() const { return mode_; }
  const char* Name() const { return mode_ == Mode::Fast ? "fast" : "specified"; }
  friend constexpr bool operator==(CPacing, CPacing) = default;

  // Pause after every line written to the traffic log.
  constexpr Ms AfterLoggedLine() const { return mode_ == Mode::Fast ? Ms(0) : Ms(100); }
  // Pause after the echo of a settings line was seen, before the next read.
  constexpr Ms AfterEcho() const { return mode_ == Mode::Fast ? Ms(0) : Ms(100); }
  // Upper bound of one read, from its start.
  static constexpr Ms ReadDeadline() { return Ms(600); }
  // Pause before each poll read; with `fast` the poll read itself may last
  // this much longer instead, ending as soon as the token arrives.
  static constexpr Ms PollInterval() { return Ms(200); }
  // After a wake-up burst has been answered (its first answer came after
  // `firstAnswer`), how long the line must stay quiet before the exchange goes
  // on: the replies to the burst's other lines may still be on their way and
  // must not be taken for the next reply. A tracker answers its lines one
  // after the other, so twice its answer time covers the gap between two of
  // them; at least 100 ms, at most one read's deadline. (The specified
  // pacing's full-length poll read takes them anyway.)
  constexpr Ms BurstSettle(Ms firstAnswer = Ms(0)) const {
    if (mode_ != Mode::Fast) return Ms(0);
    const Ms gap = 2 * firstAnswer;
    return gap < Ms(100) ? Ms(100) : gap > ReadDeadline() ? ReadDeadline() : gap;
  }
  // True when a read ends as soon as its reply is complete.
  constexpr bool EndsOnEvent() const { return mode_ == Mode::Fast; }
  // What ends a read early: `rule` when reads end on their event, none (the
  // read runs to its byte count or deadline) otherwise.
  ReplyComplete CompletionRule(ReplyComplete rule) const { return EndsOnEvent() ? std::move(rule) : nullptr; }

 private:
  constexpr explicit CPacing(Mode mode) : mode_(mode) {}
  Mode mode_ = Mode::Specified;
};

}  // namespace kestrun
