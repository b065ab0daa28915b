// The traffic log AtLog.log: one line per text sent to or received from the
// tracker, stamped with local time, every line feed stored as CR LF. The file
// is opened and closed for every line. It holds the device password, so a new
// log is private to the user (0600); an existing one keeps its mode. Links on
// its path are followed only as ResolvePathLinks allows and the file itself is
// opened without following one. A line that cannot be written is lost and the
// exchange goes on; the first such failure is kept so that it can be reported.
#pragma once

#include <ctime>
#include <string>

namespace kestrun {

enum class Direction { Sent, Received };

// "2011-3-3; 9:5:7 --> text" plus a line feed, with every line feed as CR LF.
std::string FormatLogLine(const std::tm& local, Direction direction, const std::string& text);

// "<directory>/AtLog.log".
std::string TrafficLogPath(const std::string& directory);

// Opens (creating it 0600) the log at `path` for appending; -1 with `why`
// ("<path>: <step>: <reason>") when it cannot be.
int OpenTrafficLog(const std::string& path, std::string& why);

// Whether a traffic log can be kept at `path`: opened (so created) as Log
// would, and a regular file. Empty when it can, else why not.
std::string CheckTrafficLog(const std::string& path);

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

  // Why a line could not be written, the first time one could not
  // ("<path>: <step>: <reason>"); empty while every line went in.
  const std::string& Failure() const { return failure_; }

 private:
  void Fail(const std::string& why) {
    if (failure_.empty()) failure_ = why;
  }

  std::string path_;
  std::string failure_;
};

}  // namespace kestrun
