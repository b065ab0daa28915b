// The traffic log AtLog.log: one line per text sent to or received from the
// tracker, stamped with local time, every line feed stored as CR LF. The file
// is opened and closed for every line; a log that cannot be opened loses the
// line silently and the exchange goes on.
#pragma once

#include <chrono>
#include <ctime>
#include <string>

namespace kestrun {

enum class Direction { Sent, Received };

// "2011-3-3; 9:5:7 --> text" plus a line feed, with every line feed as CR LF.
std::string FormatLogLine(const std::tm& local, Direction direction, const std::string& text);

class CTrafficLog {
 public:
  // `directory` is captured once; later changes of the working directory do
  // not move the log.
  explicit CTrafficLog(std::string directory = {}) : directory_(std::move(directory)) {}
  void SetDirectory(std::string directory) { directory_ = std::move(directory); }
  std::string Path() const { return directory_ + "/AtLog.log"; }

  void Log(const std::string& text, Direction direction);

  // Pause after every line; the tracker's pacing relies on it.
  std::chrono::milliseconds pause{100};

 private:
  std::string directory_;
};

}  // namespace kestrun
