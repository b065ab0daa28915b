// One serial port, opened by COM number, driven with blocking reads and writes.
// Raw 8N1, no flow control, DTR and RTS raised, reads end at their byte count
// or 600 ms after they began.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "port/Clock.h"
#include "port/PortDiscovery.h"
#include "port/PortNeighbours.h"

namespace kestrun {

class CComPort {
 public:
  static constexpr int kReadTimeoutMs = 600;
  static constexpr std::size_t kMaxLine = 254;

  CComPort() = default;
  CComPort(const CComPort&) = delete;
  CComPort& operator=(const CComPort&) = delete;
  virtual ~CComPort();

  // Ends a read early when it returns true for what has arrived so far.
  using ReplyComplete = std::function<bool(const std::string&)>;
  using Ms = std::chrono::milliseconds;

  bool Open();
  void Close();
  // Discards both queues (what the tracker sent but nobody read, and what was
  // not yet sent).
  bool Purge();
  // Writes the text and one carriage return, discarding both queues first
  // unless `purgeFirst` is false. A text longer than kMaxLine characters is
  // refused and nothing is written. Virtual, so that a test can play a device
  // that has answered each line by the time it is written.
  virtual bool WriteLine(const std::string& text, bool purgeFirst = true);
  // One read of up to maxBytes into `buffer` (emptied first); it ends at the
  // byte count, at `deadline` after it began, or as soon as `complete` holds.
  bool ReadReply(std::string& buffer, std::size_t maxBytes, const ReplyComplete& complete = {},
                 Ms deadline = Ms(kReadTimeoutMs));
  bool SendAndRead(const std::string& text, std::string& buffer, std::size_t maxBytes,
                   const ReplyComplete& complete = {});
  // Writes the text, then up to `polls` times: wait `pause`, read once, look
  // for the token in that read alone. With `endOnToken` the read ends as soon
  // as the token has arrived, and lasts up to `pause` longer instead of the
  // pause before it. `done`, when given, replaces the token search and looks
  // at all that was read. `buffer` keeps every read.
  bool SendAndWaitFor(const std::string& text, const std::string& token, std::string& buffer,
                      std::size_t maxBytes, int polls, Ms pause = Ms(200), bool endOnToken = false,
                      bool purgeFirst = true, const ReplyComplete& done = {});
  // Reads what arrives until the line has been quiet for `quiet`, at most
  // `limit` long, or until `complete` holds for `text`; appends to `text`.
  bool ReadUntilQuietFor(std::string& text, Ms quiet, Ms limit, const ReplyComplete& complete = {});
  // Collects 256-byte reads until 600 ms of silence, more than `limit` bytes,
  // or `complete` holds for all collected. True when the limit was passed.
  bool ReadUntilQuiet(std::string& text, int& total, int limit, const ReplyComplete& complete = {});

  // Why the last Open failed, in words for the user: the system's reason and
  // the neighbour in the way (DescribeOpenFailure); empty after a successful Open.
  const std::string& openFailureReason() const { return openFailureReason_; }
  const std::string& devicePath() const { return devicePath_; }

  int handle = -1;
  int baudRate = 115200;
  int portNumber = 0;
  bool isOpen = false;
  std::string lastError;
  int lastSystemError = 0;   // errno of the last failure
  DiscoveryPaths discovery;  // where COM numbers are looked up
  // Whether a purge also discards what was written but not yet sent. An
  // exchange that ends its reads early (fast pacing) keeps it, so that lines
  // it wrote are never taken back before the tracker has read them.
  bool purgeDiscardsOutput = true;
  SystemRoots systemRoots;  // where a failed open looks for the reason
  // What the read deadlines, the quiet waits and the poll pauses are measured
  // on; the owner's clock, the steady one unless it says otherwise.
  IClock* clock = &SteadyClock();

 private:
  bool Fail(const std::string& error, int systemError);
  std::string openFailureReason_;
  std::string devicePath_;
};

}  // namespace kestrun
