// The traffic log AtLog.log: one line per text sent to or received from the
// tracker, stamped with local time, every line feed stored as CR LF. The file
// is opened and closed for every line; a log that cannot be opened loses the
// line silently and the exchange goes on.
#pragma once

#include <ctime>
#include <string>

namespace kestrun {

enum class Direction { Sent, Received };

// "2011-3-3; 9:5:7 --> text" plus a line feed, with every line feed as CR LF.
std::string FormatLogLine(const std::tm& local, Direction direction, const std::string& text);

// "<directory>/AtLog.log".
std::string TrafficLogPath(const std::string& directory);

class CTrafficLog {
 public:
  CTrafficLog() = default;
  // The log in `directory`, captured once; later changes of the working
  // directory do not move it.
  explicit CTrafficLog(const std::string& directory) : path_(TrafficLogPath(directory)) {}
  void SetDirectory(const std::string& directory) { path_ = TrafficLogPath(directory); }
  // Any file name (one log per port); empty: nothing is logged.
  void SetPath(std::string path) { path_ = std::move(path); }
  const std::string& Path() const { return path_; }

  void Log(const std::string& text, Direction direction);

 private:
  std::string path_;
};

}  // namespace kestrun
