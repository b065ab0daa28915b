// One serial port, opened by COM number, driven with blocking reads and writes.
// Raw 8N1, no flow control, DTR and RTS raised, reads end at their byte count
// or 600 ms after they began. The line settings found at Open are put back at
// Close.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "port/Clock.h"
#include "port/PortHandle.h"
#include "port/PortNeighbours.h"
#include "port/PortResult.h"
#include "port/PortSettings.h"
#include "port/ReplyComplete.h"

namespace kestrun {

class CComPort {
 public:
  static constexpr int kReadTimeoutMs = 600;
  static constexpr std::size_t kMaxLine = 254;
  using ReplyComplete = kestrun::ReplyComplete;
  using Ms = std::chrono::milliseconds;

  // How SendAndWaitFor waits for its answer: up to `polls` times, wait
  // `pause`, read once (up to `maxBytes`), look for `token` in that read
  // alone. With `endOnToken` the read ends as soon as the token has arrived,
  // and lasts up to `pause` longer instead of the pause before it. `done`,
  // when given, replaces the token search and looks at all that was read.
  struct PollPlan {
    std::string token = "OK";
    std::size_t maxBytes = 0;
    int polls = 1;
    Ms pause = Ms(200);
    bool endOnToken = false;
    bool purgeFirst = true;
    ReplyComplete done;
  };

  explicit CComPort(PortSettings settings = {}, IClock& clock = SteadyClock())
      : settings_(std::move(settings)), clock_(&clock) {}
  CComPort(const CComPort&) = delete;
  CComPort& operator=(const CComPort&) = delete;
  virtual ~CComPort();

  // Which port the next Open opens; taken while the port is closed.
  void SetSettings(PortSettings settings) { settings_ = std::move(settings); }
  const PortSettings& settings() const { return settings_; }
  // What the read deadlines, the quiet waits and the poll pauses are measured
  // on; the owner's clock, the steady one unless it says otherwise.
  void SetClock(IClock& clock) { clock_ = &clock; }
  IClock& clock() const { return *clock_; }
  // Whether a purge also discards what was written but not yet sent. An
  // exchange that ends its reads early (fast pacing) keeps it, so that lines
  // it wrote are never taken back before the tracker has read them.
  void SetPurgeDiscardsOutput(bool discards) { purgeDiscardsOutput_ = discards; }

  PortResult Open();
  void Close();
  bool isOpen() const { return handle_ != kNoPortHandle; }
  PortHandle handle() const { return handle_; }
  // Discards both queues (what the tracker sent but nobody read, and what was
  // not yet sent).
  PortResult Purge();
  // Writes the text and one carriage return, discarding both queues first
  // unless `purgeFirst` is false. A text longer than kMaxLine characters is
  // refused (LineTooLong) and nothing is written. Virtual, so that a test can
  // play a device that has answered each line by the time it is written.
  virtual PortResult WriteLine(const std::string& text, bool purgeFirst = true);
  // Writes `bytes` as they are: no carriage return, no purge, no length limit.
  PortResult WriteBytes(const std::string& bytes);
  // One read of up to maxBytes into `buffer` (emptied first); it ends at the
  // byte count, at `deadline` after it began, or as soon as `complete` holds.
  // Any of these is Ok; only a failed read is not (what it read stays).
  PortResult ReadReply(std::string& buffer, std::size_t maxBytes, const ReplyComplete& complete = {},
                       Ms deadline = Ms(kReadTimeoutMs));
  PortResult SendAndRead(const std::string& text, std::string& buffer, std::size_t maxBytes,
                         const ReplyComplete& complete = {});
  // Writes the text, then polls as `plan` says; TimedOut when no poll found
  // the answer. `buffer` keeps every read.
  PortResult SendAndWaitFor(const std::string& text, std::string& buffer, const PollPlan& plan);
  // Reads what arrives until the line has been quiet for `quiet`, at most
  // `limit` long, or until `complete` holds for `text`; appends to `text`.
  PortResult ReadUntilQuietFor(std::string& text, Ms quiet, Ms limit, const ReplyComplete& complete = {});
  // Collects 256-byte reads into `text` (emptied first) until 600 ms of
  // silence, more than `limit` bytes, or `complete` holds for all collected.
  PortResult ReadUntilQuiet(std::string& text, std::size_t limit, const ReplyComplete& complete = {});

  // Why the last Open failed, in words for the user: the system's reason and
  // the neighbour in the way (DescribeOpenFailure); empty after a successful Open.
  const std::string& openFailureReason() const { return openFailureReason_; }
  const std::string& devicePath() const { return devicePath_; }

 private:
  // The line settings found at Open, put back at Close (termios on Linux,
  // the DCB and the timeouts on Windows).
  struct SavedLine;
  struct DropSavedLine {
    void operator()(SavedLine* line) const;
  };
  // The system's part of Open. OpenDevice opens `path` for reading and
  // writing, exclusively, into `handle`; SetUpLine then keeps the line
  // settings it finds (savedLine_) and sets raw 8N1 at the settings' speed,
  // DTR and RTS up, both queues discarded. Each gives 0 or the errno of its
  // failure; a set-up that fails closes the device and names in `refused`
  // what the device refused ("the line settings").
  static int OpenDevice(const std::string& path, PortHandle& handle);
  int SetUpLine(PortHandle handle, const char*& refused);
  // One read of what has arrived, up to `want` bytes, into `into`; `got` is
  // 0 when nothing could be taken this time (try again). Only a failed read
  // (the device gone) is not Ok.
  PortResult ReadAvailable(char* into, std::size_t want, std::size_t& got);

  PortSettings settings_;
  IClock* clock_;
  bool purgeDiscardsOutput_ = true;
  PortHandle handle_ = kNoPortHandle;
  std::unique_ptr<SavedLine, DropSavedLine> savedLine_;
  std::string openFailureReason_;
  std::string devicePath_;
};

}  // namespace kestrun
